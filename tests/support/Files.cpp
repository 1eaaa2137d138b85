#include "support/Files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <stdlib.h>
#include <sys/stat.h>

namespace testsupport
{

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    if (!::mkdtemp(&tmpl[0])) throw std::runtime_error("cannot make a scratch folder from " + tmpl);
    path = tmpl;
}

TempDir::~TempDir()
{
    ::chmod(path.c_str(), 0755);
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

int TempDir::Entries() const
{
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(path); it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

std::string WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    f.close();
    if (!f) throw std::runtime_error("cannot write " + path);
    return path;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace testsupport
