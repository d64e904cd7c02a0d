// Runs a fuzz target over corpus files without libFuzzer, so that every
// normal build (any compiler, any target) replays the seeds and every input
// that once broke the library. Arguments are files or directories; without
// any, the target's checked-in corpus. A broken promise aborts inside the
// target, which fails the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

namespace fs = std::filesystem;

void collect(const fs::path &path, std::vector<fs::path> &files)
{
    if (fs::is_directory(path)) {
        for (const fs::directory_entry &entry : fs::directory_iterator(path))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    } else {
        files.push_back(path);
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<fs::path> files;
    std::vector<std::string> roots(argv + 1, argv + argc);
#ifdef TOVAN_FUZZ_CORPUS
    if (roots.empty())
        roots.push_back(TOVAN_FUZZ_CORPUS);
#endif
    for (const std::string &root : roots) {
        if (!fs::exists(root)) {
            std::fprintf(stderr, "no such corpus: %s\n", root.c_str());
            return 1;
        }
        collect(root, files);
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "the corpus is empty\n");
        return 1;
    }
    for (const fs::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::printf("%s (%zu bytes)\n", file.filename().string().c_str(), bytes.size());
        std::fflush(stdout);
        // A fresh copy of exactly the input's size, so that reading one byte
        // past it is caught by the sanitizers as under libFuzzer.
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
