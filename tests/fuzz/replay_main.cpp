// Runs a fuzz target once on each file named on the command line (a folder
// stands for the files in it), as libFuzzer does when given files: how the
// seed and regression inputs run in a build without libFuzzer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = fs::absolute(argv[i]);
        if (fs::is_directory(path)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(path))
                inputs.push_back(entry.path());
        } else {
            inputs.push_back(path);
        }
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        // A failing input aborts the program and names itself here.
        std::fprintf(stderr, "running %s\n", path.string().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs ran\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
