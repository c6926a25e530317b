// Upload and download of a 1 GiB file through a local vsftpd, with this program's FTP client
// and with curl in the same run (passive mode both), and the client's peak memory. Each
// transfer runs in a child process so that its peak resident size can be read from wait4.
#include "ftp/FtpClient.h"
#include "support/RealFtpServer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

namespace fs = std::filesystem;

// ORNEL_BENCH_MIB shortens the file for a quick look; the figures are meant for 1 GiB.
const std::int64_t kFileSize = [] {
    const char* mib = std::getenv("ORNEL_BENCH_MIB");
    return (mib != nullptr && std::atoll(mib) > 0 ? std::atoll(mib) : 1024LL) * 1024 * 1024;
}();
constexpr int kRounds = 3;

struct Run
{
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

Run RunChild(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    // Dirty pages of the previous run must not be written back on this run's time.
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return {};
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The child side: one transfer with the client, exit status 0 on success.
int ClientMain(int argc, char** argv)
{
    if (argc != 8) {
        std::cerr << "usage: --client put|get PORT USER PASSWORD LOCAL REMOTE\n";
        return 2;
    }
    try {
        ornel::FtpClient client;
        client.SetHost("127.0.0.1");
        client.SetPort(std::atoi(argv[3]));
        client.SetUsername(argv[4]);
        client.SetPassword(argv[5]);
        client.SetPassive(true);
        client.Connect();
        client.ChangeDir(".");
        if (std::strcmp(argv[2], "put") == 0) {
            client.Put(argv[6], argv[7], false);
        } else {
            client.Get(argv[7], argv[6], true, false);
        }
        client.Disconnect();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "client: " << e.what() << "\n";
        return 1;
    }
}

void MakeSource(const fs::path& file)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (std::int64_t written = 0; written < kFileSize; written += static_cast<std::int64_t>(block.size())) {
        for (std::size_t i = 0; i < block.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(block.data() + i, &state, 8);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

bool SameContent(const fs::path& a, const fs::path& b)
{
    if (fs::file_size(a) != fs::file_size(b)) {
        return false;
    }
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    std::vector<char> bx(1 << 20);
    std::vector<char> by(1 << 20);
    while (x && y) {
        x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
        y.read(by.data(), static_cast<std::streamsize>(by.size()));
        if (x.gcount() != y.gcount() ||
            std::memcmp(bx.data(), by.data(), static_cast<std::size_t>(x.gcount())) != 0) {
            return false;
        }
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MBps(double seconds)
{
    return static_cast<double>(kFileSize) / 1e6 / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--client") == 0) {
        return ClientMain(argc, argv);
    }
    if (const auto reason = ornel::test::RealFtpServer::VsftpdUnavailable(); !reason.empty()) {
        std::cout << "bench_ftp_throughput: " << reason << "; skipped\n";
        return 0;
    }
    char pattern[] = "/tmp/ornel-bench-ftp-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::cerr << "cannot create a work folder\n";
        return 1;
    }
    const fs::path work = pattern;
    const fs::path root = work / "server";
    const fs::path local = work / "local";
    fs::create_directories(root);
    fs::create_directories(local);
    ::chmod(work.c_str(), 0755);
    int status = 0;
    try {
        const fs::path source = local / "source.bin";
        MakeSource(source);
        auto server = ornel::test::RealFtpServer::StartVsftpd(root, "ornelbench");
        const std::string port = std::to_string(server->Port());
        const std::string self = fs::read_symlink("/proc/self/exe").string();
        const std::string url =
            "ftp://" + server->User() + ":" + server->Password() + "@127.0.0.1:" + port + "/";

        std::vector<double> clientUp, curlUp, clientDown, curlDown;
        long clientPeak = 0;
        long curlPeak = 0;
        auto timed = [&](const std::vector<std::string>& command, const fs::path& output, const char* what,
                         std::vector<double>& times, long& peak) {
            // Deleted right before the run: writing into a fresh file is what is measured.
            std::error_code ec;
            fs::remove(output, ec);
            const Run r = RunChild(command);
            if (!r.ok || !SameContent(source, output)) {
                throw std::runtime_error(std::string(what) + " failed or differs\n" + server->Log());
            }
            times.push_back(r.seconds);
            peak = std::max(peak, r.peakKiB);
        };
        auto uploads = [&](bool clientFirst) {
            for (int i = 0; i < 2; ++i) {
                if ((i == 0) == clientFirst) {
                    timed(
                        {self, "--client", "put", port, server->User(), server->Password(), source, "up.bin"},
                        root / "up.bin", "client upload", clientUp, clientPeak);
                } else {
                    timed({"curl", "-s", "-S", "--disable-epsv", "-T", source, url + "curl-up.bin"},
                          root / "curl-up.bin", "curl upload", curlUp, curlPeak);
                }
            }
        };
        auto downloads = [&](bool clientFirst) {
            for (int i = 0; i < 2; ++i) {
                if ((i == 0) == clientFirst) {
                    timed({self, "--client", "get", port, server->User(), server->Password(),
                           local / "down.bin", "up.bin"},
                          local / "down.bin", "client download", clientDown, clientPeak);
                } else {
                    timed(
                        {"curl", "-s", "-S", "--disable-epsv", "-o", local / "curl-down.bin", url + "up.bin"},
                        local / "curl-down.bin", "curl download", curlDown, curlPeak);
                }
            }
        };
        // Who goes first alternates, so that neither side always meets the other's cache.
        for (int round = 0; round < kRounds; ++round) {
            uploads(round % 2 == 0);
            downloads(round % 2 == 0);
        }
        const double up = MBps(Median(clientUp));
        const double upCurl = MBps(Median(curlUp));
        const double down = MBps(Median(clientDown));
        const double downCurl = MBps(Median(curlDown));
        std::printf("%lld MiB through vsftpd on 127.0.0.1, passive, median of %d runs\n",
                    static_cast<long long>(kFileSize / (1024 * 1024)), kRounds);
        std::printf("  upload    client %7.1f MB/s   curl %7.1f MB/s   ratio %.2f\n", up, upCurl,
                    up / upCurl);
        std::printf("  download  client %7.1f MB/s   curl %7.1f MB/s   ratio %.2f\n", down, downCurl,
                    down / downCurl);
        std::printf("  peak RSS  client %ld KiB   curl %ld KiB\n", clientPeak, curlPeak);
    } catch (const std::exception& e) {
        std::cerr << "bench_ftp_throughput: " << e.what() << "\n";
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return status;
}
