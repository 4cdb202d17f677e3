// Writes a synthetic CITS data set (parameter file tpN and spectroscopy file
// tsN) into a folder, for trying the program and for benchmarks.
//
//   citsconv-example [--size COLUMNS ROWS IMAGES] [--number N] [--random] FOLDER
//
// By default 64 x 64 pixels with 32 CITS images, file number 1: each pixel an
// I(V)-like curve whose shape varies across the scan (a few bright spots on a
// terrace step), so that different CITS images look different. --random fills
// the samples with pseudo-random values instead, quickly enough for data sets
// of gigabytes.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Options {
    std::int64_t columns = 64;
    std::int64_t rows = 64;
    std::int64_t images = 32;
    std::string number = "1";
    bool random = false;
    std::string folder;
};

int usage()
{
    std::cerr << "usage: citsconv-example [--size COLUMNS ROWS IMAGES] [--number N] [--random] FOLDER\n";
    return 2;
}

bool parseCount(const char* text, std::int64_t& value)
{
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (*text == '\0' || *end != '\0' || parsed < 0 || parsed > 65535)
        return false;
    value = parsed;
    return true;
}

void putSample(std::vector<char>& bytes, std::size_t offset, unsigned value)
{
    bytes[offset] = static_cast<char>((value >> 8) & 0xFF);
    bytes[offset + 1] = static_cast<char>(value & 0xFF);
}

// Tunnelling current at bias v (-1 to 1 V) over pixel (x, y): an upper and a
// lower terrace with different gaps, and a few spots of higher conductance.
unsigned curveSample(const Options& o, std::int64_t x, std::int64_t y, std::int64_t k)
{
    const double v = o.images > 1 ? -1.0 + 2.0 * static_cast<double>(k) / static_cast<double>(o.images - 1) : 0.0;
    const double u = static_cast<double>(x) / static_cast<double>(o.columns);
    const double w = static_cast<double>(y) / static_cast<double>(o.rows);
    const bool upper = u + 0.3 * w < 0.55;
    double conductance = upper ? 1.0 : 0.6;
    const double spots[][2] = {{0.25, 0.3}, {0.7, 0.25}, {0.6, 0.75}, {0.2, 0.8}};
    for (const auto& s : spots) {
        const double d2 = (u - s[0]) * (u - s[0]) + (w - s[1]) * (w - s[1]);
        conductance += 2.5 * std::exp(-d2 / 0.004);
    }
    const double gap = upper ? 0.15 : 0.35;
    const double shifted = v > 0 ? std::max(0.0, v - gap) : std::min(0.0, v + gap);
    const double current = conductance * std::sinh(3.0 * shifted);
    const double value = 32768.0 + 3000.0 * current;
    return static_cast<unsigned>(std::lround(std::min(65535.0, std::max(0.0, value))));
}

bool writeParameterFile(const Options& o, const std::string& path)
{
    std::vector<char> bytes(256, '\0');
    const std::string title = "synthetic CITS example data set";
    std::copy(title.begin(), title.end(), bytes.begin());
    putSample(bytes, 30, static_cast<unsigned>(o.columns));
    putSample(bytes, 34, static_cast<unsigned>(o.rows));
    putSample(bytes, 166, static_cast<unsigned>(o.images));
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

bool writeSpectroscopyFile(const Options& o, const std::string& path)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::int64_t record = 2 * o.images;
    std::vector<char> line(static_cast<std::size_t>(record * o.columns));
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (std::int64_t y = 0; y < o.rows && file; ++y) {
        if (o.random) {
            for (std::size_t i = 0; i < line.size(); i += 2) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                putSample(line, i, static_cast<unsigned>(state >> 48));
            }
        } else {
            for (std::int64_t x = 0; x < o.columns; ++x)
                for (std::int64_t k = 0; k < o.images; ++k)
                    putSample(line, static_cast<std::size_t>(x * record + 2 * k), curveSample(o, x, y, k));
        }
        file.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    file.close();
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 3 < argc) {
            if (!parseCount(argv[i + 1], o.columns) || !parseCount(argv[i + 2], o.rows) ||
                !parseCount(argv[i + 3], o.images))
                return usage();
            i += 3;
        } else if (arg == "--number" && i + 1 < argc) {
            o.number = argv[++i];
        } else if (arg == "--random") {
            o.random = true;
        } else if (o.folder.empty() && arg.rfind("--", 0) != 0) {
            o.folder = arg;
        } else {
            return usage();
        }
    }
    if (o.folder.empty())
        return usage();

    std::error_code error;
    std::filesystem::create_directories(o.folder, error);
    const std::string parameterPath = o.folder + "/tp" + o.number;
    const std::string spectroscopyPath = o.folder + "/ts" + o.number;
    if (!writeParameterFile(o, parameterPath) || !writeSpectroscopyFile(o, spectroscopyPath)) {
        std::cerr << "citsconv-example: can't write the data set into " << o.folder << "\n";
        return 1;
    }
    std::cout << "Data set " << o.number << " (" << o.columns << " x " << o.rows << " pixels, "
              << o.images << " CITS images) written to " << o.folder << "\n";
    return 0;
}
