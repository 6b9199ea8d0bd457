// Runs a real program with piped standard input and output: the input is
// written whole (then closed, so the program sees the end of input), and
// everything the program writes is collected until it exits.
#pragma once

#include <string>
#include <vector>

namespace norvex::forth {

struct ProcessResult {
    std::string output;   // standard output and standard error, as written
    int status = -1;      // exit status, or 128 + signal
};

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, const std::string& cwd = {});

// A fresh directory under /tmp, removed with its files at the end.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Writes a file (name relative to the directory); returns its path.
    std::string write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;
};

}  // namespace norvex::forth
