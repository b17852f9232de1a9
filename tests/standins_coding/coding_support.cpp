#include "coding_support.h"

#include "ffprobe_helpers.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

namespace coding_test {

std::string UnixPath(const std::filesystem::path& path)
{
    return quill_test::UnixPath(path);
}

int RunShell(const std::string& command, DWORD timeoutMs)
{
    const quill_test::TUnixResult run = quill_test::RunUnix({"sh", "-c", command}, timeoutMs);
    return run.Ran ? run.ExitCode : -1;
}

std::string Probe(const std::filesystem::path& file, const std::string& entry, const std::string& extra)
{
    const auto out = std::filesystem::absolute(L"probe.txt");
    std::filesystem::remove(out);
    const std::string cmd = "ffprobe -v error " + extra + " -show_entries " + entry + " -of default=nw=1:nk=1 '" +
                            UnixPath(file) + "' > '" + UnixPath(out) + "'";
    if (RunShell(cmd) != 0) return {};
    std::ifstream in(out);
    std::string value;
    std::getline(in, value);
    return value;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

std::filesystem::path FreshFolder(const std::wstring& name)
{
    const auto dir = std::filesystem::absolute(name);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::uint8_t> TestPicture(int width, int height, int index)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const double cx = width * (0.3 + 0.01 * index), cy = height * 0.5, r = height * 0.2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            const double d = std::hypot(x - cx, y - cy);
            const double inside = std::clamp((r - d) / 3.0, 0.0, 1.0);  // a soft edge
            const double bar = 0.5 + 0.5 * std::sin((x + 4 * index) * 0.05);
            p[0] = static_cast<std::uint8_t>(std::lround((1 - inside) * (40 + 150.0 * x / width) + inside * 230));
            p[1] = static_cast<std::uint8_t>(std::lround((1 - inside) * (40 + 150.0 * y / height) + inside * 200));
            p[2] = static_cast<std::uint8_t>(std::lround((1 - inside) * (50 + 140 * bar) + inside * 60));
        }
    }
    return rgb;
}

std::vector<std::uint8_t> FromBottomUpBgr(const std::uint8_t* data, int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* s = data + static_cast<std::size_t>(height - 1 - y) * width * 3;
        std::uint8_t* d = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) d[3 * x] = s[3 * x + 2], d[3 * x + 1] = s[3 * x + 1], d[3 * x + 2] = s[3 * x];
    }
    return rgb;
}

void ToBottomUpBgr(const std::vector<std::uint8_t>& rgb, int width, int height, std::uint8_t* out)
{
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* s = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        std::uint8_t* d = out + static_cast<std::size_t>(height - 1 - y) * width * 3;
        for (int x = 0; x < width; ++x) d[3 * x] = s[3 * x + 2], d[3 * x + 1] = s[3 * x + 1], d[3 * x + 2] = s[3 * x];
    }
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sum);
}

}  // namespace coding_test
