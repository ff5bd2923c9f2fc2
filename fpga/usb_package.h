// The USB upgrade package: a head, a table of child entries and the
// payloads they point to, all in one file on the USB stick (suffix "KEL" or
// "KELZK"). docs/usb-upgrade.md describes the format.
//
// This file knows the bytes only: decoding and encoding the records, and
// building a whole package (for tests and the make-usb-package tool). The
// upgrade worker (fpga/fpga_upgrade.cpp) reads, checks and installs them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace usbpkg {

constexpr size_t kHeadSize = 49;
constexpr size_t kChildSize = 21;
constexpr size_t kFpgaHeadSize = 64;  // in front of an FPGA program's image
constexpr size_t kFontHeadSize = 35;  // the first bytes of a font image
constexpr size_t kVersionSize = 6;

constexpr uint16_t kControllerType = 0x8D52;  // packages for this box
constexpr uint8_t kReleasePackage = 128;      // PublishType: skip what already runs

// Child types (USB_UPGRADE_CHILD::file_type).
enum ChildType : uint8_t {
    kChildFpga0 = 7,         // program of FPGA 0
    kChildFpga1 = 8,         // program of FPGA 1
    kChildApplication = 10,  // the application program
    kChildFont = 13,         // an OSD font of the video chip
};

// Version bytes of a child: year (two digits), month, day, hardware,
// software, function code. FPGA children use year, month, day and function.
enum VersionByte { kVerYear = 0, kVerMonth, kVerDay, kVerHardware, kVerSoftware, kVerFunction };
using Version = std::array<uint8_t, kVersionSize>;

// Font head bytes the worker reads.
constexpr size_t kFontTypeByte = 0;      // 'P' when a font is present
constexpr size_t kFontEncodingByte = 5;  // 0 Chinese, 1 English
constexpr size_t kFontHeightByte = 18;   // 32 or 64
constexpr uint8_t kFontPresent = 'P';
enum FontEncoding : uint8_t { kFontChinese = 0, kFontEnglish = 1 };

}  // namespace usbpkg

// The package head (49 bytes at offset 0).
struct USB_UPGRADE_HEAD {
    uint8_t FileType = 0;         // 0: diagnostics only
    uint8_t FileVersion = 0;      // 1: diagnostics only
    uint8_t PublishType = 0;      // 2: 128 = release package
    uint16_t ControllerType = 0;  // 18
    uint16_t FileNum = 0;         // 47: child entries

    static USB_UPGRADE_HEAD decode(const uint8_t* p);
    void encode(uint8_t* p) const;  // the bytes not named are 0
};

// A child entry (21 bytes at 49 + 21 k).
struct USB_UPGRADE_CHILD {
    uint8_t file_type = 0;        // 0: usbpkg::ChildType
    uint32_t file_len = 0;        // 1: payload length (application and font)
    uint32_t file_offset = 0;     // 5: payload offset in the package
    usbpkg::Version Version{};    // 9
    uint32_t File_Flashaddr = 0;  // 15: diagnostics only
    uint16_t SecNum = 0;          // 19: diagnostics only

    static USB_UPGRADE_CHILD decode(const uint8_t* p);
    void encode(uint8_t* p) const;
};

// The 64-byte head in front of an FPGA program's image.
struct FPGA_PROGRAM_HEAD {
    uint8_t file_type = 0;             // 16: 1 FCG, 2 ACG
    uint8_t file_version = 0;          // 17
    uint16_t ControllerClass = 0;      // 18
    uint8_t ControllerClcass = 0;      // 20: 0 sending, 1 receiving, 2 multifunction
    std::array<uint8_t, 4> Version{};  // 23
    uint32_t file_len = 0;             // 31: image length

    static FPGA_PROGRAM_HEAD decode(const uint8_t* p);
    void encode(uint8_t* p) const;
};

namespace usbpkg {

// One payload of a package to build. An FPGA child's payload is the bare
// image: the builder puts its 64-byte head in front. Application and font
// payloads are written as given (a font image begins with its own head).
struct BuildChild {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    Version version{};
};

struct BuildSpec {
    uint8_t publishType = 0;
    uint16_t controllerType = kControllerType;
    std::vector<BuildChild> children;
};

// The package's bytes: head, child table, then the payloads in order.
std::vector<uint8_t> build(const BuildSpec& spec);

// A font image: its 35-byte head (present, encoding, width height / 2,
// height) followed by `glyphs`.
std::vector<uint8_t> fontImage(uint8_t encoding, uint8_t height, const std::vector<uint8_t>& glyphs);

}  // namespace usbpkg
