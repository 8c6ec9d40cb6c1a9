#pragma once
// The command frames of the scan tool's serial protocol: every command starts
// with the two marker bytes "FX" and its command byte; the tool answers with
// the marker and a status byte that names the command it acknowledges.
#include <cstdint>

namespace kelvo::frames {

constexpr uint8_t kMark0 = 0x46;  // 'F'
constexpr uint8_t kMark1 = 0x58;  // 'X'
constexpr uint8_t kEndByte = 0xFF;

// Command bytes.
constexpr uint8_t kStart = 0xC0;
constexpr uint8_t kBlockHeader = 0xC1;
constexpr uint8_t kErase = 0xC2;
constexpr uint8_t kEnd = 0xC3;
constexpr uint8_t kIdentify = 0xC9;
constexpr uint8_t kIdentifyVariant = 0xCA;

// Status bytes (byte 2 of the reply) that acknowledge each step.
constexpr uint8_t kStartDone = 0x81;
constexpr uint8_t kBlockHeaderDone = 0x82;
constexpr uint8_t kEraseDone = 0x83;
constexpr uint8_t kBlockDataDone = 0x84;
constexpr uint8_t kEndDone = 0x85;

// An identification reply starts with this text; the model name follows it.
constexpr char kIdentityPrefix[] = "zendrix-";
constexpr int kIdentityPrefixLength = 8;

} // namespace kelvo::frames
