#include "fuzz/sandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::fuzz {

namespace {

namespace fs = std::filesystem;

// Access rights newer than the installed kernel headers.
constexpr uint64_t kTruncate = 1ull << 14;   // Landlock ABI 3
constexpr uint64_t kIoctlDev = 1ull << 15;   // Landlock ABI 5

// Everything that changes the file system or controls a device; reading
// stays open everywhere.
uint64_t changing_rights(long abi) {
    uint64_t rights = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                      LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                      LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                      LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                      LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3) rights |= kTruncate;
    if (abi >= 5) rights |= kIoctlDev;
    return rights;
}

// Rights that a rule on a file (not a directory) may grant.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_WRITE_FILE | kTruncate;

fs::path g_scratch;

bool add_rule(int ruleset, const fs::path& path, uint64_t rights) {
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = rights;
    rule.parent_fd = fd;
    const long r = ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    ::close(fd);
    return r == 0;
}

// Writes outside `writable` (directories) and the two device files become
// impossible for this process and its children. False where the kernel has
// no Landlock.
bool restrict_writes(const std::vector<fs::path>& writable) {
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) return false;
    const uint64_t rights = changing_rights(abi);
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = rights;
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
    if (ruleset < 0) return false;
    bool ok = true;
    for (const fs::path& dir : writable) ok = add_rule(int(ruleset), dir, rights & ~kIoctlDev) && ok;
    for (const char* device : {"/dev/null", "/dev/full"})
        ok = add_rule(int(ruleset), device, rights & kFileRights) && ok;
    ok = ok && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(int(ruleset));
    return ok;
}

// The fuzzer's flags whose values are paths.
bool is_path_flag(std::string_view name) {
    for (std::string_view f : {"artifact_prefix", "exact_artifact_path", "dict", "merge_control_file",
                               "features_dir", "mutation_graph_file", "data_flow_trace"})
        if (name == f) return true;
    return false;
}

std::string absolute(std::string_view path, bool keep_trailing_slash) {
    std::string a = fs::absolute(fs::path(path)).lexically_normal().string();
    if (keep_trailing_slash && !path.empty() && path.back() == '/' && a.back() != '/') a += '/';
    return a;
}

// The directory a path-valued flag writes into: the path itself when it is
// a directory, else the directory that holds it.
fs::path writes_into(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return path;
    return fs::path(path).parent_path();
}

pid_t g_fuzzer = 0;

void forward(int sig) { ::kill(g_fuzzer, sig); }

// The sandbox cannot remove its own scratch directory (that is a change to
// the directory holding it), so the process forks here: the child fuzzes in
// the sandbox, this process waits outside it, removes the scratch directory
// (after a crash too) and ends as the child ended. Signals sent to it go on
// to the child.
void stay_to_clean_up() {
    g_fuzzer = ::fork();
    if (g_fuzzer < 0) {
        std::perror("norvex fuzz: fork");
        std::exit(1);
    }
    if (g_fuzzer == 0) return;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, forward);
    int status = 0;
    while (::waitpid(g_fuzzer, &status, 0) < 0 && errno == EINTR) {
    }
    std::error_code ec;
    fs::remove_all(g_scratch, ec);
    if (WIFSIGNALED(status)) {
        std::signal(WTERMSIG(status), SIG_DFL);
        ::raise(WTERMSIG(status));
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

}  // namespace

void enter_sandbox(int* argc, char*** argv) {
    const fs::path start = fs::current_path();
    std::vector<fs::path> writable{start};

    // New argument vector: argv[0] unchanged, paths absolute.
    static std::vector<std::string> args;
    static std::vector<char*> pointers;
    bool has_prefix = false;
    for (int i = 1; i < *argc; ++i) {
        std::string_view a = (*argv)[i];
        if (a.size() > 1 && a[0] == '-') {
            const size_t eq = a.find('=');
            const std::string_view name = a.substr(1, eq == a.npos ? a.npos : eq - 1);
            if (eq != a.npos && is_path_flag(name)) {
                const std::string value =
                    absolute(a.substr(eq + 1), name == "artifact_prefix" || name == "features_dir");
                args.push_back("-" + std::string(name) + "=" + value);
                writable.push_back(writes_into(value));
                has_prefix = has_prefix || name == "artifact_prefix";
                continue;
            }
            args.emplace_back(a);
        } else {
            args.push_back(absolute(a, false));
            std::error_code ec;
            if (fs::is_directory(args.back(), ec)) writable.emplace_back(args.back());
        }
    }
    if (!has_prefix) args.push_back("-artifact_prefix=" + start.string() + "/");

    pointers.push_back((*argv)[0]);
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    *argc = int(pointers.size() - 1);
    *argv = pointers.data();

    std::string dir = (fs::temp_directory_path() / "norvex-fuzz-XXXXXX").string();
    if (!::mkdtemp(dir.data())) {
        std::perror("norvex fuzz: scratch directory");
        std::exit(1);
    }
    g_scratch = dir;
    writable.push_back(g_scratch);
    stay_to_clean_up();

    // Files an image writes stay small; writing past the bound fails (EFBIG)
    // instead of raising SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit fsize{64 << 20, 64 << 20};
    ::setrlimit(RLIMIT_FSIZE, &fsize);

    if (!restrict_writes(writable))
        std::fprintf(stderr, "norvex fuzz: no Landlock here; files are confined only by the "
                             "working directory %s\n", dir.c_str());
    if (::chdir(dir.c_str()) != 0) {
        std::perror("norvex fuzz: chdir");
        std::exit(1);
    }
}

void clear_scratch() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(g_scratch, ec)) fs::remove_all(entry.path(), ec);
}

}  // namespace norvex::fuzz
