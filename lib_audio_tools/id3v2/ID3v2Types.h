// SPDX-License-Identifier: MIT
// Types shared by the ID3v2 engine: text encodings, tag and frame flags, version words,
// the exception tree and the engine's assertion.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace covrilo {

// Equal to the encoding byte of ID3v2 frames; any other byte reads as teUnknown and
// teUnknown is written as 255.
enum TTextEncoding : uint8_t { teISO8859_1 = 0, teUTF16 = 1, teUTF16BE = 2, teUTF8 = 3, teUnknown = 4 };

// Version words: major version in the high byte, revision in the low byte.
inline constexpr uint16_t ID3V2_VERSION_2_2 = 0x0200;
inline constexpr uint16_t ID3V2_VERSION_2_3 = 0x0300;
inline constexpr uint16_t ID3V2_VERSION_2_4 = 0x0400;
inline constexpr uint8_t MajorVersion(uint16_t Version) { return static_cast<uint8_t>(Version >> 8); }

// Tag flags (internal bits of TID3v2Class::TagFlags).
using TTagFlags = uint8_t;
inline constexpr TTagFlags tfUnsynchronisation = 0x01;
inline constexpr TTagFlags tfExperimental = 0x02;
inline constexpr TTagFlags tfFooter = 0x04;
inline constexpr TTagFlags tfExtendedHeader = 0x08;
inline constexpr TTagFlags tfCompression = 0x10;

// Frame flags (internal bits of TBaseFrame::FrameFlags).
using TFrameFlags = uint8_t;
inline constexpr TFrameFlags ffTagAlterPreservation = 0x01;
inline constexpr TFrameFlags ffFileAlterPreservation = 0x02;
inline constexpr TFrameFlags ffReadOnly = 0x04;
inline constexpr TFrameFlags ffCompression = 0x08;
inline constexpr TFrameFlags ffEncryption = 0x10;
inline constexpr TFrameFlags ffGroupingIdentity = 0x20;
inline constexpr TFrameFlags ffUnsynchronisation = 0x40;
inline constexpr TFrameFlags ffDataLengthIndicator = 0x80;

// SupportedVersions bits.
inline constexpr uint8_t svID3v22 = 0x02;
inline constexpr uint8_t svID3v23 = 0x04;
inline constexpr uint8_t svID3v24 = 0x10;

class EID3LibException : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};
class EID3LibLoadException : public EID3LibException {
   public:
    using EID3LibException::EID3LibException;
};
class EID3LibSaveException : public EID3LibException {
   public:
    using EID3LibException::EID3LibException;
};
class EID3LibFrameVersionMismatch : public EID3LibSaveException {
   public:
    using EID3LibSaveException::EID3LibSaveException;
};
class EID3LibFrameIDInvalid : public EID3LibSaveException {
   public:
    using EID3LibSaveException::EID3LibSaveException;
};
class EID3LibTextEncodingInvalid : public EID3LibSaveException {
   public:
    using EID3LibSaveException::EID3LibSaveException;
};
// A save that would drop, cut or change what the caller did not ask to change, refused
// before the file was touched: the file is exactly as it was. The message says why.
class EID3LibSaveRefused : public EID3LibSaveException {
   public:
    using EID3LibSaveException::EID3LibSaveException;
};

// A failed internal consistency check: the message holds the text, the source file's
// name and the line, e.g. "no unsynchronisation support! (ID3v2Class.cpp, line 812)".
class EAssertionFailed : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void RaiseAssertion(const std::string& Message, const char* File, int Line);

#define ID3_ASSERT(Condition, Message)                                              \
    do {                                                                            \
        if (!(Condition)) ::covrilo::RaiseAssertion((Message), __FILE__, __LINE__); \
    } while (0)

// Syncsafe integers: four bytes of seven bits, most significant first. Decoding does not
// mask the top bit of a byte; encoding drops bits above 28.
uint32_t DecodeSyncsafe(const uint8_t Bytes[4]);
void EncodeSyncsafe(uint32_t Value, uint8_t Bytes[4]);

}  // namespace covrilo
