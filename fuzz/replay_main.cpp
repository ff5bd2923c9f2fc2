// Runs files through a fuzz harness's entry point without libFuzzer: each
// argument is a file or a directory of files. This is how the committed
// corpus is replayed as an ordinary test in every build.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

// With KEL_REPLAY_NAMES set, each input's name goes to standard error
// before it runs: a sanitizer's report then follows the input that met it.
static const bool kNameInputs = std::getenv("KEL_REPLAY_NAMES") != nullptr;

static bool runFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    if (kNameInputs)
        std::fprintf(stderr, "replaying %s\n", file.c_str());
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char** argv)
{
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const auto& entry : fs::directory_iterator(arg))
                if (entry.is_regular_file() && runFile(entry.path()))
                    ++runs;
        } else if (runFile(arg)) {
            ++runs;
        } else {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
    }
    std::printf("%d inputs replayed\n", runs);
    return runs > 0 ? 0 : 1;
}
