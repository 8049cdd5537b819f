#include "support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarrow::support {

ScratchDir::ScratchDir(const std::string& prefix) {
    std::string name = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(name.data())) throw std::runtime_error("cannot create the scratch folder " + name);
    path_ = name;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush())
        throw std::runtime_error("cannot write " + path);
}

std::vector<int16_t> ReadShorts(const std::string& path, SF_INFO* info) {
    SF_INFO format{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &format);
    if (!f) throw std::runtime_error("cannot read the sound file " + path);
    std::vector<int16_t> v(static_cast<std::size_t>(format.frames * format.channels));
    v.resize(static_cast<std::size_t>(sf_read_short(f, v.data(), static_cast<sf_count_t>(v.size()))));
    sf_close(f);
    if (info) *info = format;
    return v;
}

}  // namespace quarrow::support
