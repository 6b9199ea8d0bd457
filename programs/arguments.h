// The argument string of both programs: the arguments after the program
// name, each verbatim, joined with single blanks.
#pragma once

#include <string>

namespace norvex {

inline std::string joined_arguments(int argc, char** argv) {
    std::string s;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) s += ' ';
        s += argv[i];
    }
    return s;
}

}  // namespace norvex
