#include "fpga/usb_package.h"

#include <algorithm>

namespace {

// Offsets inside the records.
constexpr size_t kHeadFileType = 0, kHeadFileVersion = 1, kHeadPublishType = 2, kHeadControllerType = 18,
                 kHeadFileNum = 47;
constexpr size_t kChildType = 0, kChildLen = 1, kChildOffset = 5, kChildVersion = 9, kChildFlashAddr = 15,
                 kChildSecNum = 19;
constexpr size_t kFpgaFileType = 16, kFpgaFileVersion = 17, kFpgaControllerClass = 18, kFpgaControllerClcass = 20,
                 kFpgaVersion = 23, kFpgaFileLen = 31;
constexpr size_t kFontWidthByte = 17;

uint16_t getU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t getU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
void putU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void putU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

USB_UPGRADE_HEAD USB_UPGRADE_HEAD::decode(const uint8_t* p)
{
    USB_UPGRADE_HEAD h;
    h.FileType = p[kHeadFileType];
    h.FileVersion = p[kHeadFileVersion];
    h.PublishType = p[kHeadPublishType];
    h.ControllerType = getU16(p + kHeadControllerType);
    h.FileNum = getU16(p + kHeadFileNum);
    return h;
}

void USB_UPGRADE_HEAD::encode(uint8_t* p) const
{
    std::fill(p, p + usbpkg::kHeadSize, 0);
    p[kHeadFileType] = FileType;
    p[kHeadFileVersion] = FileVersion;
    p[kHeadPublishType] = PublishType;
    putU16(p + kHeadControllerType, ControllerType);
    putU16(p + kHeadFileNum, FileNum);
}

USB_UPGRADE_CHILD USB_UPGRADE_CHILD::decode(const uint8_t* p)
{
    USB_UPGRADE_CHILD c;
    c.file_type = p[kChildType];
    c.file_len = getU32(p + kChildLen);
    c.file_offset = getU32(p + kChildOffset);
    std::copy(p + kChildVersion, p + kChildVersion + usbpkg::kVersionSize, c.Version.begin());
    c.File_Flashaddr = getU32(p + kChildFlashAddr);
    c.SecNum = getU16(p + kChildSecNum);
    return c;
}

void USB_UPGRADE_CHILD::encode(uint8_t* p) const
{
    p[kChildType] = file_type;
    putU32(p + kChildLen, file_len);
    putU32(p + kChildOffset, file_offset);
    std::copy(Version.begin(), Version.end(), p + kChildVersion);
    putU32(p + kChildFlashAddr, File_Flashaddr);
    putU16(p + kChildSecNum, SecNum);
}

FPGA_PROGRAM_HEAD FPGA_PROGRAM_HEAD::decode(const uint8_t* p)
{
    FPGA_PROGRAM_HEAD h;
    h.file_type = p[kFpgaFileType];
    h.file_version = p[kFpgaFileVersion];
    h.ControllerClass = getU16(p + kFpgaControllerClass);
    h.ControllerClcass = p[kFpgaControllerClcass];
    std::copy(p + kFpgaVersion, p + kFpgaVersion + h.Version.size(), h.Version.begin());
    h.file_len = getU32(p + kFpgaFileLen);
    return h;
}

void FPGA_PROGRAM_HEAD::encode(uint8_t* p) const
{
    std::fill(p, p + usbpkg::kFpgaHeadSize, 0);
    p[kFpgaFileType] = file_type;
    p[kFpgaFileVersion] = file_version;
    putU16(p + kFpgaControllerClass, ControllerClass);
    p[kFpgaControllerClcass] = ControllerClcass;
    std::copy(Version.begin(), Version.end(), p + kFpgaVersion);
    putU32(p + kFpgaFileLen, file_len);
}

namespace usbpkg {

std::vector<uint8_t> build(const BuildSpec& spec)
{
    USB_UPGRADE_HEAD head;
    head.PublishType = spec.publishType;
    head.ControllerType = spec.controllerType;
    head.FileNum = static_cast<uint16_t>(spec.children.size());
    const size_t tableEnd = kHeadSize + kChildSize * spec.children.size();
    std::vector<uint8_t> out(tableEnd);
    head.encode(out.data());
    for (size_t k = 0; k < spec.children.size(); ++k) {
        const BuildChild& b = spec.children[k];
        const bool fpga = b.type == kChildFpga0 || b.type == kChildFpga1;
        USB_UPGRADE_CHILD c;
        c.file_type = b.type;
        c.file_offset = static_cast<uint32_t>(out.size());
        c.file_len = static_cast<uint32_t>(b.payload.size() + (fpga ? kFpgaHeadSize : 0));
        c.Version = b.version;
        c.encode(out.data() + kHeadSize + kChildSize * k);
        if (fpga) {
            FPGA_PROGRAM_HEAD fh;
            fh.file_len = static_cast<uint32_t>(b.payload.size());
            fh.Version = {b.version[kVerYear], b.version[kVerMonth], b.version[kVerDay], b.version[kVerFunction]};
            const size_t at = out.size();
            out.resize(at + kFpgaHeadSize);
            fh.encode(out.data() + at);
        }
        out.insert(out.end(), b.payload.begin(), b.payload.end());
    }
    return out;
}

std::vector<uint8_t> fontImage(uint8_t encoding, uint8_t height, const std::vector<uint8_t>& glyphs)
{
    std::vector<uint8_t> out(kFontHeadSize, 0);
    out[kFontTypeByte] = kFontPresent;
    out[kFontEncodingByte] = encoding;
    out[kFontWidthByte] = static_cast<uint8_t>(height / 2);
    out[kFontHeightByte] = height;
    out.insert(out.end(), glyphs.begin(), glyphs.end());
    return out;
}

}  // namespace usbpkg
