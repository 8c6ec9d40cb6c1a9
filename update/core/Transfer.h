#pragma once
// Writing a firmware package into the scan tool: load, unscramble, check,
// then per image Identify, Start, Erase, 2048-byte blocks, End.
#include "update/core/Package.h"
#include "update/core/UpdateSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvo {

// The serial channel as the transfer uses it (CIntPort in the program).
class IToolChannel {
public:
    virtual ~IToolChannel() = default;
    virtual int Open(int port) = 0;  // 1 or 0
    // As CIntPort::Transact: reply length, 0 for none, -1 refused; the reply
    // buffer holds 2048 bytes.
    virtual int Transact(const uint8_t* command, int length, uint32_t timeoutMs, uint8_t* reply) = 0;
    virtual void Close() = 0;
};
using ToolChannelFactory = std::function<std::unique_ptr<IToolChannel>()>;

// A channel over CIntPort.
std::unique_ptr<IToolChannel> NewIntPortChannel();

constexpr int kBlockSize = 2048;
constexpr int kReplySize = 2048;
// Packages are a few hundred kilobytes; a bigger file is not read at all.
constexpr long kMaxPackageBytes = 64L << 20;
constexpr uint32_t kIdentifyTimeoutMs = 100;
constexpr uint32_t kCommandTimeoutMs = 100;
constexpr uint32_t kEraseTimeoutMs = 50000;
constexpr uint32_t kPauseBetweenImagesMs = 1000;

// Progress modes: the whole range, its first half, its second half.
enum : int { kProgressWhole = 1, kProgressFirstHalf = 2, kProgressSecondHalf = 3 };

// The percentage reported before block k of an image of `length` bytes.
int BlockPercent(uint32_t k, uint32_t length, int mode);

// The command frames.
void MakeStartCommand(bool mainImage, uint8_t out[9]);
void MakeEraseCommand(bool mainImage, bool qb230e, uint8_t out[9]);
void MakeBlockHeader(uint32_t address, uint32_t dataLength, uint8_t out[10]);
// The data frame of block `index`; `out` holds length + 6 bytes.
void MakeBlockData(const uint8_t* block, uint32_t length, uint32_t index, uint8_t* out);

} // namespace kelvo

// The model a package file is for: the part of its file name (the path's
// last component) before the first "_", in upper case, as the package lists
// read it. Empty when the name has no "_" or nothing before it.
std::wstring PackageFileModel(const std::wstring& path);

// Writes one image into the tool of `model` (the model the user confirmed);
// 0 or -1 (a message box has then been shown). Opens and closes its own
// channel on `port`; the tool must still name `model` in its identification,
// or nothing after that is sent.
int TransferImage(const uint8_t* image, uint32_t length, int port, uint32_t address, int mode,
                  const uint8_t startCommand[9], const uint8_t eraseCommand[9], const std::wstring& model,
                  kelvo::IUpdateSink& sink, int row, const kelvo::ToolChannelFactory& channels = {});

// Reads the package at `path` whole and checks it: its bytes, unscrambled,
// and where its images lie. On failure `sink` has told the user (file
// unreadable or not a valid package).
enum class PackageLoad { kLoaded, kUnreadable, kInvalid };
PackageLoad LoadPackageFile(const std::wstring& path, std::vector<uint8_t>* bytes, kelvo::PackageLayout* layout,
                            kelvo::IUpdateSink& sink);
// The same without a message.
PackageLoad ReadPackageFile(const std::wstring& path, std::vector<uint8_t>* bytes, kelvo::PackageLayout* layout);

// Writes a loaded package for `packageModel` into the tool on g_nDevicePort
// (read once at the start), whose model the user confirmed as `toolModel`.
// A package for another model, or for none, is refused (message 84) before
// the port is opened; the QB230E erase code follows the package's model.
// 0 on success, -1 on failure (the user has then seen a message box).
int FlashPackage(kelvo::IUpdateSink& sink, const std::vector<uint8_t>& bytes, const kelvo::PackageLayout& layout,
                 const std::wstring& packageModel, const std::wstring& toolModel, int row,
                 const kelvo::ToolChannelFactory& channels = {});

// LoadPackageFile, then FlashPackage for the model its file name gives.
int FlashPackageFile(kelvo::IUpdateSink& sink, const std::wstring& path, const std::wstring& toolModel, int row,
                     const kelvo::ToolChannelFactory& channels = {});
