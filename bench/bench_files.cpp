// The floor of a split into very many small files: the system calls alone that write N files of
// a line each in folders of 50, each under a temporary name renamed into place once complete
// (as the split writes them, so that no file is ever half-written under its name), and the same
// without the rename. Prints "seconds_with_rename seconds_without". Usage: bench_files DIR N
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

double writeFiles(const std::string& root, long count, bool rename)
{
    const auto start = std::chrono::steady_clock::now();
    ::mkdir(root.c_str(), 0777);
    static const char line[] = "第一章 一行正文\r\n";
    char name[64];
    int folder = -1;
    for (long i = 0; i < count; ++i) {
        if (i % 50 == 0) {
            if (folder >= 0) {
                ::close(folder);
            }
            const std::string path = root + "/" + std::to_string(i / 50);
            ::mkdir(path.c_str(), 0777);
            folder = ::open(path.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
            if (folder < 0) {
                std::perror("bench_files");
                std::exit(1);
            }
        }
        std::snprintf(name, sizeof name, "%06ld 第%ld章.txt", i, i);
        const char* first = rename ? ".part" : name;
        const int fd = ::openat(folder, first, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, line, sizeof line - 1) < 0 || ::close(fd) != 0) {
            std::perror("bench_files");
            std::exit(1);
        }
        if (rename && ::renameat(folder, first, folder, name) != 0) {
            std::perror("bench_files");
            std::exit(1);
        }
    }
    if (folder >= 0) {
        ::close(folder);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_files DIR N\n");
        return 2;
    }
    const std::string dir = argv[1];
    const long count = std::atol(argv[2]);
    ::mkdir(dir.c_str(), 0777);
    // Each run on an empty folder: a million files left over would slow the next.
    const double withRename = writeFiles(dir + "/renamed", count, true);
    std::filesystem::remove_all(dir + "/renamed");
    const double without = writeFiles(dir + "/direct", count, false);
    std::filesystem::remove_all(dir + "/direct");
    std::printf("%.2f %.2f\n", withRename, without);
    return 0;
}
