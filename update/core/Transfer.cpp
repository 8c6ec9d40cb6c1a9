#include "update/core/Transfer.h"

#include "app/core/platform.h"
#include "app/core/textutil.h"
#include "device/core/Identify.h"
#include "device/core/Frames.h"
#include "device/core/IntPort.h"
#include "update/core/Package.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

// COM port of the identified tool, -1 when none (set by the identification).
#include "device/core/DeviceState.h"

namespace kelvo {

int BlockPercent(uint32_t k, uint32_t length, int mode)
{
    // The share already sent, in percent (64 bits: no overflow for big images).
    int q = length ? int(uint64_t(k) * 204800u / length) : 0;
    switch (mode) {
    case kProgressFirstHalf:
        return int(0.5 * q);
    case kProgressSecondHalf:
        return int(0.5 * q + 50);
    default:
        return q;
    }
}

void MakeStartCommand(bool mainImage, uint8_t out[9])
{
    using namespace frames;
    static const uint8_t kMain[9] = {kMark0, kMark1, kStart, 0x01, 0x02, 0x03, 0x04, 0x05, kEndByte};
    static const uint8_t kSecond[9] = {kMark0, kMark1, kStart, 0x05, 0x04, 0x03, 0x02, 0x01, kEndByte};
    std::memcpy(out, mainImage ? kMain : kSecond, 9);
}

void MakeEraseCommand(bool mainImage, bool qb230e, uint8_t out[9])
{
    using namespace frames;
    static const uint8_t kMain[9] = {kMark0, kMark1, kErase, 0x00, 0x40, 0x00, 0x08, 0xF2, kEndByte};
    static const uint8_t kSecond[9] = {kMark0, kMark1, kErase, 0x00, 0x00, 0x00, 0x00, 0x00, kEndByte};
    std::memcpy(out, mainImage ? kMain : kSecond, 9);
    if (mainImage && qb230e)
        out[7] = 0x32;
}

void MakeBlockHeader(uint32_t address, uint32_t dataLength, uint8_t out[10])
{
    uint32_t frame = dataLength + 6;
    out[0] = frames::kMark0;
    out[1] = frames::kMark1;
    out[2] = frames::kBlockHeader;
    for (int i = 0; i < 4; ++i)
        out[3 + i] = uint8_t(address >> (8 * i));
    out[7] = uint8_t(frame);
    out[8] = uint8_t(frame >> 8);
    out[9] = frames::kEndByte;
}

void MakeBlockData(const uint8_t* block, uint32_t length, uint32_t index, uint8_t* out)
{
    uint32_t sum = 0;
    for (uint32_t i = 0; i < length; ++i)
        sum += block[i];
    std::memcpy(out, block, length);
    for (int i = 0; i < 4; ++i)
        out[length + i] = uint8_t(sum >> (8 * i));
    out[length + 4] = uint8_t(index >> 8);
    out[length + 5] = uint8_t(index);
}

namespace {

std::unique_ptr<IToolChannel> MakeChannel(const ToolChannelFactory& f) { return f ? f() : NewIntPortChannel(); }

std::wstring PercentText(int percent, int textNumber)
{
    wchar_t buf[512];
    std::swprintf(buf, sizeof buf / sizeof buf[0], L"%d%% / %ls", percent, UpdateText(textNumber).c_str());
    return buf;
}

void Report(IUpdateSink& sink, int row, int percent, int textNumber)
{
    sink.Progress(row, percent);
    sink.Status(row, PercentText(percent, textNumber));
}

// Ends a failed transfer: the port is closed and this thread's hold on it
// given up before the message, which may stay open for long, so that the
// identification finds the tool again meanwhile.
int Fail(IUpdateSink& sink, IToolChannel* port, int portNumber, int textNumber)
{
    if (port)
        port->Close();
    UnreservePort(portNumber);
    sink.Tell(textNumber, kMbOk);
    return -1;
}

// The package's hold on its port for the length of FlashPackageFile.
class PortHold {
public:
    explicit PortHold(int port) : m_port(port) { ReservePort(port); }
    ~PortHold() { UnreservePort(m_port); }
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;

private:
    int m_port;
};

// One command whose reply must carry `status` in byte 2.
bool Command(IToolChannel& port, const uint8_t* frame, int length, uint32_t timeoutMs, uint8_t status)
{
    uint8_t reply[kReplySize];
    int n = port.Transact(frame, length, timeoutMs, reply);
    return n > 2 && reply[2] == status;
}

} // namespace
} // namespace kelvo

using namespace kelvo;

std::wstring PackageFileModel(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t cut = name.find(L'_');
    if (cut == std::wstring::npos)
        return std::wstring();
    return AsciiUpper(name.substr(0, cut));
}

int TransferImage(const uint8_t* image, uint32_t length, int portNumber, uint32_t address, int mode,
                  const uint8_t startCommand[9], const uint8_t eraseCommand[9], const std::wstring& model,
                  IUpdateSink& sink, int row, const ToolChannelFactory& channels)
{
    std::unique_ptr<IToolChannel> port = MakeChannel(channels);
    if (!port || port->Open(portNumber) != 1)
        return Fail(sink, nullptr, portNumber, kTextPortUnavailable);
    auto fail = [&]() { return Fail(sink, port.get(), portNumber, kTextTransferFailed); };

    // Only a tool that calls itself "zendrix-" and the model the user
    // confirmed is ever written to: another tool may sit on the port by now.
    static const uint8_t kIdentify[3] = {frames::kMark0, frames::kMark1, frames::kIdentify};
    uint8_t reply[kReplySize];
    int n = port->Transact(kIdentify, 3, kIdentifyTimeoutMs, reply);
    std::wstring answered;
    if (n <= frames::kIdentityPrefixLength || !ParseToolReply(reply, n, &answered) || answered.empty() ||
        answered != AsciiUpper(model))
        return fail();

    if (!Command(*port, startCommand, 9, kCommandTimeoutMs, frames::kStartDone))
        return fail();
    Report(sink, row, mode == kProgressSecondHalf ? 50 : 0, kTextErasing);
    if (!Command(*port, eraseCommand, 9, kEraseTimeoutMs, frames::kEraseDone))
        return fail();

    std::vector<uint8_t> data(kBlockSize + 6);
    uint32_t k = 0;
    uint32_t blockAddress = address;
    uint32_t remaining = length;
    while (remaining > 0) {
        uint32_t l = remaining < uint32_t(kBlockSize) ? remaining : uint32_t(kBlockSize);
        Report(sink, row, BlockPercent(k, length, mode), kTextWriting);
        uint8_t header[10];
        MakeBlockHeader(blockAddress, l, header);
        if (!Command(*port, header, 10, kCommandTimeoutMs, frames::kBlockHeaderDone))
            return fail();
        MakeBlockData(image + size_t(k) * kBlockSize, l, k, data.data());
        if (!Command(*port, data.data(), int(l + 6), kCommandTimeoutMs, frames::kBlockDataDone))
            return fail();
        ++k;
        blockAddress += kBlockSize;
        remaining -= l;
    }

    static const uint8_t kEnd[4] = {frames::kMark0, frames::kMark1, frames::kEnd, frames::kEndByte};
    if (!Command(*port, kEnd, 4, kCommandTimeoutMs, frames::kEndDone))
        return fail();
    port->Close();
    return 0;
}

PackageLoad ReadPackageFile(const std::wstring& path, std::vector<uint8_t>* bytes, PackageLayout* layout)
{
    FILE* f = OpenFile(path, "rb");
    if (!f)
        return PackageLoad::kUnreadable;
    std::vector<uint8_t>& buffer = *bytes;
    buffer.clear();
    bool readAll = false;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size >= 0 && size <= kMaxPackageBytes && std::fseek(f, 0, SEEK_SET) == 0) {
            buffer.resize(size_t(size));
            readAll = std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size();
        }
    }
    std::fclose(f);
    if (!readAll)
        return PackageLoad::kUnreadable;
    ScramblePackage(buffer.data(), buffer.size());
    if (!CheckPackage(buffer.data(), buffer.size(), layout))
        return PackageLoad::kInvalid;
    return PackageLoad::kLoaded;
}

PackageLoad LoadPackageFile(const std::wstring& path, std::vector<uint8_t>* bytes, PackageLayout* layout,
                            IUpdateSink& sink)
{
    const PackageLoad result = ReadPackageFile(path, bytes, layout);
    if (result == PackageLoad::kUnreadable)
        sink.Tell(kTextFileUnreadable, kMbOk);
    else if (result == PackageLoad::kInvalid)
        sink.Tell(kTextInvalidPackage, kMbOk);
    return result;
}

int FlashPackageFile(IUpdateSink& sink, const std::wstring& path, const std::wstring& toolModel, int row,
                     const ToolChannelFactory& channels)
{
    std::vector<uint8_t> buffer;
    PackageLayout layout;
    if (LoadPackageFile(path, &buffer, &layout, sink) != PackageLoad::kLoaded)
        return -1;
    return FlashPackage(sink, buffer, layout, PackageFileModel(path), toolModel, row, channels);
}

int FlashPackage(IUpdateSink& sink, const std::vector<uint8_t>& buffer, const PackageLayout& layout,
                 const std::wstring& packageModel, const std::wstring& toolModel, int row,
                 const ToolChannelFactory& channels)
{
    // A layout made by hand rather than by CheckPackage gets the same answer.
    if (layout.firstLength == 0 || (layout.type == kPackageBoth && layout.secondLength == 0) ||
        layout.firstOffset + layout.firstLength > buffer.size() ||
        (layout.type == kPackageBoth && layout.secondOffset + layout.secondLength > buffer.size())) {
        sink.Tell(kTextInvalidPackage, kMbOk);
        return -1;
    }
    // Firmware of another model can make a tool unusable: nothing is sent
    // unless the package names the very model the user confirmed.
    const std::wstring model = AsciiUpper(toolModel);
    if (packageModel.empty() || model.empty() || AsciiUpper(packageModel) != model) {
        sink.Tell(kTextOtherModel, kMbOk);
        return -1;
    }
    const int portNumber = g_nDevicePort;

    // Between the two images of a type-3 package the port is closed for a
    // second; the hold keeps the identification from taking it meanwhile.
    PortHold hold(portNumber);
    const unsigned removals = ToolRemovals();

    const bool mainFirst = layout.type != kPackageSecond;
    const bool qb230e = model == L"QB230E";
    uint8_t start[9], erase[9];
    MakeStartCommand(mainFirst, start);
    MakeEraseCommand(mainFirst, qb230e, erase);
    int mode = layout.type == kPackageBoth ? kProgressFirstHalf : kProgressWhole;
    if (TransferImage(buffer.data() + layout.firstOffset, layout.firstLength, portNumber,
                      mainFirst ? kMainImageAddress : kSecondImageAddress, mode, start, erase, model, sink, row,
                      channels) != 0)
        return -1;

    SleepMs(kPauseBetweenImagesMs);

    if (layout.type == kPackageBoth) {
        // Pulled out during the pause: the tool that may be back is not
        // the one whose main image was just written.
        if (ToolRemovals() != removals)
            return Fail(sink, nullptr, portNumber, kTextTransferFailed);
        MakeStartCommand(false, start);
        MakeEraseCommand(false, false, erase);
        if (TransferImage(buffer.data() + layout.secondOffset, layout.secondLength, portNumber, kSecondImageAddress,
                          kProgressSecondHalf, start, erase, model, sink, row, channels) != 0)
            return -1;
    }

    sink.Progress(row, 100);
    sink.Status(row, UpdateText(kTextPackageWritten));
    return 0;
}
