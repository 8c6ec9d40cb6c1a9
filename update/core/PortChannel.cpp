// The transfer's channel over the program's serial channel.
#include "device/core/IntPort.h"
#include "update/core/Transfer.h"

namespace kelvo {

namespace {
class IntPortChannel : public IToolChannel {
public:
    int Open(int port) override
    {
        // A transfer gives up as soon as its tool is gone, freeing the port.
        m_port.SetGiveUpWhenGone(true);
        return m_port.Open(port);
    }
    int Transact(const uint8_t* command, int length, uint32_t timeoutMs, uint8_t* reply) override
    {
        return m_port.Transact(command, length, timeoutMs, reply);
    }
    void Close() override { m_port.Close(); }

private:
    CIntPort m_port;
};
} // namespace

std::unique_ptr<IToolChannel> NewIntPortChannel() { return std::make_unique<IntPortChannel>(); }

} // namespace kelvo
