// A stand-in for the board's LCD frame buffer, preloaded into a program run
// under Qt's linuxfb platform (bench/count-arm, through the emulator's -E
// LD_PRELOAD=...), so that Debian's linuxfb plugin runs unchanged on a
// machine that has no such device:
//
//   QT_QPA_PLATFORM=linuxfb:fb=/dev/fb0 LD_PRELOAD=fb_stand_in.so PROGRAM
//   KEL_FB_BPP=16 or 32 (the default)
//
// Opening /dev/fb0 gives an anonymous memory file the size of a 320x240
// screen, which the plugin maps as it maps the device; its ioctls are
// answered here: a 320x240 screen of RGB565 (16 bits a pixel) or XRGB8888
// (32 bits, no alpha channel), no physical size given, so the plugin takes
// 100 DPI. The console's ioctls (text or graphics mode, the keyboard's mode)
// are answered here too, for every descriptor, so no terminal is ever
// switched. Every other call goes on to the C library.
//
// Built for the target by bench/count-arm; nothing of it is in the product.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <linux/kd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr const char* kDevice = "/dev/fb0";
constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;
constexpr uint32_t kDefaultBits = 32;
constexpr unsigned long kConsoleIoctlType = 0x4B;  // 'K': <linux/kd.h>
constexpr int kIoctlTypeShift = 8;
constexpr unsigned long kIoctlTypeMask = 0xFF;

std::atomic<int> frameBuffer{-1};

uint32_t bitsPerPixel()
{
    const char* bits = std::getenv("KEL_FB_BPP");
    return bits && std::strcmp(bits, "16") == 0 ? 16 : kDefaultBits;
}

uint32_t lineLength()
{
    return kWidth * bitsPerPixel() / 8;
}

bool isDevice(const char* path)
{
    return path && std::strcmp(path, kDevice) == 0;
}

// The screen's memory, or -1.
int openScreen()
{
    const int fd = ::memfd_create("fb_stand_in", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::ftruncate(fd, off_t(lineLength() * kHeight)) != 0) {
        ::close(fd);
        return -1;
    }
    frameBuffer = fd;
    return fd;
}

void fixedInfo(fb_fix_screeninfo& fix)
{
    std::memset(&fix, 0, sizeof fix);
    std::strncpy(fix.id, "stand-in", sizeof fix.id - 1);
    fix.smem_len = lineLength() * kHeight;
    fix.type = FB_TYPE_PACKED_PIXELS;
    fix.visual = FB_VISUAL_TRUECOLOR;
    fix.line_length = lineLength();
}

void variableInfo(fb_var_screeninfo& var)
{
    std::memset(&var, 0, sizeof var);
    var.xres = var.xres_virtual = kWidth;
    var.yres = var.yres_virtual = kHeight;
    var.bits_per_pixel = bitsPerPixel();
    if (var.bits_per_pixel == 16) {
        var.red = {11, 5, 0};
        var.green = {5, 6, 0};
        var.blue = {0, 5, 0};
    } else {
        var.red = {16, 8, 0};
        var.green = {8, 8, 0};
        var.blue = {0, 8, 0};
    }
    var.transp = {0, 0, 0};
    // No physical size: the plugin takes 100 DPI.
    var.width = var.height = 0;
}

int screenIoctl(unsigned long request, void* arg)
{
    switch (request) {
    case FBIOGET_FSCREENINFO: fixedInfo(*static_cast<fb_fix_screeninfo*>(arg)); return 0;
    case FBIOGET_VSCREENINFO: variableInfo(*static_cast<fb_var_screeninfo*>(arg)); return 0;
    case FBIOPUT_VSCREENINFO:
    case FBIOPAN_DISPLAY:
    case FBIOBLANK: return 0;
    default: errno = EINVAL; return -1;
    }
}

// The console's: text mode and the Unicode keyboard reported, every change taken.
int consoleIoctl(unsigned long request, void* arg)
{
    switch (request) {
    case KDGETMODE: *static_cast<int*>(arg) = KD_TEXT; return 0;
    case KDGKBMODE: *static_cast<int*>(arg) = K_UNICODE; return 0;
    default: return 0;
    }
}

template <class F>
F next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using AccessFn = int (*)(const char*, int);
using IoctlFn = int (*)(int, unsigned long, ...);

int doIoctl(const char* name, int fd, unsigned long request, void* arg)
{
    if (fd >= 0 && fd == frameBuffer)
        return screenIoctl(request, arg);
    if (((request >> kIoctlTypeShift) & kIoctlTypeMask) == kConsoleIoctlType)
        return consoleIoctl(request, arg);
    static IoctlFn real = next<IoctlFn>(name);
    return real(fd, request, arg);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (isDevice(path))
        return openScreen();
    static OpenFn real = next<OpenFn>("open");
    return real(path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (isDevice(path))
        return openScreen();
    static OpenFn real = next<OpenFn>("open64");
    return real(path, flags, mode);
}

__attribute__((visibility("default"))) int openat(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (isDevice(path))
        return openScreen();
    static OpenAtFn real = next<OpenAtFn>("openat");
    return real(dir, path, flags, mode);
}

__attribute__((visibility("default"))) int openat64(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (isDevice(path))
        return openScreen();
    static OpenAtFn real = next<OpenAtFn>("openat64");
    return real(dir, path, flags, mode);
}

__attribute__((visibility("default"))) int access(const char* path, int how)
{
    if (isDevice(path))
        return 0;
    static AccessFn real = next<AccessFn>("access");
    return real(path, how);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    return doIoctl("ioctl", fd, request, arg);
}

}  // extern "C"
