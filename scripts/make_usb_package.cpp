// make-usb-package: writes a USB upgrade package (docs/usb-upgrade.md).
//
//   make-usb-package OUT.KEL [--release] [--controller HEX]
//                    [--version Y.M.D.H.S.F] --app FILE | --fpga0 FILE |
//                    --fpga1 FILE | --font FILE | --font-glyphs ENC HEIGHT FILE ...
//
// Children are packed in the order given; --version applies to the children
// after it. ENC is "chinese" or "english", HEIGHT 32 or 64.
#include "fpga/usb_package.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: make-usb-package OUT [--release] [--controller HEX] [--version Y.M.D.H.S.F]\n"
                         "       (--app FILE | --fpga0 FILE | --fpga1 FILE | --font FILE |\n"
                         "        --font-glyphs chinese|english 32|64 FILE)...\n");
    return 2;
}

bool readAll(const char* name, std::vector<uint8_t>& out)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make-usb-package: cannot read %s\n", name);
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool parseVersion(const char* text, usbpkg::Version& v)
{
    unsigned f[usbpkg::kVersionSize];
    char tail = 0;
    if (std::sscanf(text, "%u.%u.%u.%u.%u.%u%c", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &tail) != 6)
        return false;
    for (size_t i = 0; i < usbpkg::kVersionSize; ++i) {
        if (f[i] > 255)
            return false;
        v[i] = static_cast<uint8_t>(f[i]);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    usbpkg::BuildSpec spec;
    usbpkg::Version version{};
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        usbpkg::BuildChild child;
        child.version = version;
        if (a == "--release") {
            spec.publishType = usbpkg::kReleasePackage;
            continue;
        }
        if (a == "--controller" && more) {
            spec.controllerType = static_cast<uint16_t>(std::strtoul(argv[++i], nullptr, 16));
            continue;
        }
        if (a == "--version" && more) {
            if (!parseVersion(argv[++i], version))
                return usage();
            continue;
        }
        if (a == "--font-glyphs" && i + 3 < argc) {
            const std::string enc = argv[i + 1];
            const int height = std::atoi(argv[i + 2]);
            std::vector<uint8_t> glyphs;
            if ((enc != "chinese" && enc != "english") || (height != 32 && height != 64) ||
                !readAll(argv[i + 3], glyphs))
                return usage();
            child.type = usbpkg::kChildFont;
            child.payload = usbpkg::fontImage(enc == "chinese" ? usbpkg::kFontChinese : usbpkg::kFontEnglish,
                                              static_cast<uint8_t>(height), glyphs);
            spec.children.push_back(child);
            i += 3;
            continue;
        }
        if (!more)
            return usage();
        if (a == "--app")
            child.type = usbpkg::kChildApplication;
        else if (a == "--fpga0")
            child.type = usbpkg::kChildFpga0;
        else if (a == "--fpga1")
            child.type = usbpkg::kChildFpga1;
        else if (a == "--font")
            child.type = usbpkg::kChildFont;
        else
            return usage();
        if (!readAll(argv[++i], child.payload))
            return 1;
        spec.children.push_back(child);
    }
    const std::vector<uint8_t> bytes = usbpkg::build(spec);
    std::ofstream out(argv[1], std::ios::binary);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        std::fprintf(stderr, "make-usb-package: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %zu bytes, %zu children\n", argv[1], bytes.size(), spec.children.size());
    return 0;
}
