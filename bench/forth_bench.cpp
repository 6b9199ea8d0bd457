// Forth benchmark runner: norvex-rom next to gforth-fast and gforth-itc on
// the classic programs that Debian's gforth package ships (siev, bubble,
// matrix, fib), each run as one whole process that loads the file, runs
// `main`, prints a marker and leaves. Systems are interleaved run by run, so
// drift of the machine hits all alike; each figure is the median of the
// runs after a warm-up. Also the start-and-leave time of an empty program,
// and bench/float.fs, a floating-point program (Mandelbrot and n-body).
//
// Usage: forth_bench NORVEX-ROM [runs] [program-dir]
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kMarker = "BENCH-DONE";

struct Run {
    double seconds = 0;
    long peak_kb = 0;
    bool completed = false;
};

// Runs argv with standard input from /dev/null; collects its output, wall
// time and peak resident memory.
Run run(const std::vector<std::string>& argv) {
    int out[2];
    if (pipe(out) != 0) return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string output;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) output.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    Run r;
    r.seconds = std::chrono::duration<double>(end - start).count();
    r.peak_kb = usage.ru_maxrss;
    r.completed = WIFEXITED(status) && WEXITSTATUS(status) == 0 && output.find(kMarker) != std::string::npos;
    if (!r.completed) std::fprintf(stderr, "run did not complete: %s ...\n%s\n", argv[0].c_str(), output.c_str());
    return r;
}

struct System {
    const char* name;
    std::string program;
    bool norvex;
};

// The command that loads `file` (empty: nothing), runs `main` (if a file was
// loaded), prints the marker and leaves.
std::vector<std::string> command(const System& s, const std::string& file) {
    const std::string then = std::string(file.empty() ? "" : "main ") + ".( " + kMarker + ") cr bye";
    if (s.norvex) return {s.program, file.empty() ? then : "include " + file + " " + then};
    if (file.empty()) return {s.program, "-e", then};
    return {s.program, file, "-e", then};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Result {
    std::vector<double> seconds;   // median per system
    std::vector<long> peak_kb;     // largest per system
    bool completed = true;
};

Result measure(const std::vector<System>& systems, const std::string& file, int runs) {
    std::vector<std::vector<double>> times(systems.size());
    Result res;
    res.peak_kb.assign(systems.size(), 0);
    for (int round = -1; round < runs; ++round) {   // round -1 is the warm-up
        for (size_t i = 0; i < systems.size(); ++i) {
            const Run r = run(command(systems[i], file));
            res.completed = res.completed && r.completed;
            res.peak_kb[i] = std::max(res.peak_kb[i], r.peak_kb);
            if (round >= 0) times[i].push_back(r.seconds);
        }
    }
    for (const auto& t : times) res.seconds.push_back(median(t));
    return res;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: forth_bench NORVEX-ROM [runs] [program-dir]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(5, std::atoi(argv[2])) : 5;
    const std::string dir = argc > 3 ? argv[3] : "/usr/share/gforth/0.7.3";
    const std::vector<System> systems = {
        {"norvex-rom", argv[1], true}, {"gforth-fast", "gforth-fast", false}, {"gforth-itc", "gforth-itc", false}};
    const char* programs[] = {"siev", "bubble", "matrix", "fib"};

    std::printf("median of %d runs after a warm-up; seconds per whole process\n\n", runs);
    std::printf("%-8s %11s %11s %11s %9s %9s   %s\n", "program", "norvex-rom", "gforth-fast", "gforth-itc",
                "/fast", "/itc", "peak KB norvex-rom / gforth-fast / gforth-itc");
    double log_fast = 0, log_itc = 0, worst_fast = 0, worst_itc = 0;
    bool memory_ok = true, programs_completed = true;
    for (const char* p : programs) {
        const Result r = measure(systems, dir + "/" + p + ".fs", runs);
        const double to_fast = r.seconds[0] / r.seconds[1], to_itc = r.seconds[0] / r.seconds[2];
        log_fast += std::log(to_fast);
        log_itc += std::log(to_itc);
        worst_fast = std::max(worst_fast, to_fast);
        worst_itc = std::max(worst_itc, to_itc);
        memory_ok = memory_ok && r.peak_kb[0] <= r.peak_kb[1];
        programs_completed = programs_completed && r.completed;
        std::printf("%-8s %10.3fs %10.3fs %10.3fs %9.2f %9.2f   %ld / %ld / %ld%s\n", p, r.seconds[0],
                    r.seconds[1], r.seconds[2], to_fast, to_itc, r.peak_kb[0], r.peak_kb[1], r.peak_kb[2],
                    r.completed ? "" : "   (a run did not complete)");
    }
    const double n = std::size(programs);
    const double geo_fast = std::exp(log_fast / n), geo_itc = std::exp(log_itc / n);
    std::printf("%-8s %35s %9.2f %9.2f   (geometric mean of the ratios)\n", "", "", geo_fast, geo_itc);

    // Floating point: software binary64 on the virtual processor against
    // the peers' hardware arithmetic.
    const Result fl = measure(systems, NORVEX_BENCH_DIR "/float.fs", runs);
    const double float_fast = fl.seconds[0] / fl.seconds[1];
    std::printf("%-8s %10.3fs %10.3fs %10.3fs %9.2f %9.2f   %ld / %ld / %ld%s   (bench/float.fs)\n", "float",
                fl.seconds[0], fl.seconds[1], fl.seconds[2], float_fast, fl.seconds[0] / fl.seconds[2],
                fl.peak_kb[0], fl.peak_kb[1], fl.peak_kb[2], fl.completed ? "" : "   (a run did not complete)");

    const Result empty = measure(systems, "", runs);
    std::printf("\nstart and leave: %.4fs / %.4fs / %.4fs, peak %ld / %ld / %ld KB\n", empty.seconds[0],
                empty.seconds[1], empty.seconds[2], empty.peak_kb[0], empty.peak_kb[1], empty.peak_kb[2]);

    // A figure from runs that did not complete measures nothing.
    const auto verdict = [](bool ok, bool completed) { return !completed ? "not measured" : ok ? "met" : "NOT met"; };
    std::printf("\ntargets:\n");
    std::printf("  geometric mean vs gforth-fast <= 1.0: %.2f %s\n", geo_fast,
                verdict(geo_fast <= 1.0, programs_completed));
    std::printf("  no program above 1.3 of gforth-fast:  %.2f %s\n", worst_fast,
                verdict(worst_fast <= 1.3, programs_completed));
    std::printf("  every program <= 0.6 of gforth-itc:   %.2f %s\n", worst_itc,
                verdict(worst_itc <= 0.6, programs_completed));
    std::printf("  start and leave no slower than gforth-fast: %s\n",
                verdict(empty.seconds[0] <= empty.seconds[1], empty.completed));
    std::printf("  peak memory no larger than gforth-fast's:   %s\n", verdict(memory_ok, programs_completed));
    std::printf("  float at most 8 x gforth-fast:       %.2f %s\n", float_fast,
                verdict(float_fast <= 8.0, fl.completed));
    const bool all_completed = programs_completed && fl.completed && empty.completed;
    if (!all_completed) std::printf("  SOME RUNS DID NOT COMPLETE\n");
    return all_completed ? 0 : 1;
}
