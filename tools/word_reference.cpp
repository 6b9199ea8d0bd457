// Writes the word reference of the Forth system (Markdown) from its source:
// the public words in the groups public.fs lists them in, each with the
// stack comment and the line comment of the definition that the system
// keeps (the last one compiled), and the file that holds it.
//
// Usage: word_reference OUTPUT.md PUBLIC.fs SYSTEM_MAIN.fs KERNEL.fs...
// The kernel files are read in the order given, then the system's files in
// the order main.fs includes them.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

std::vector<std::string> words_of(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

struct Definition {
    std::string stack;     // "( x -- x x )", or empty
    std::string comment;   // the line comment after it, or empty
    std::string file;      // relative to the Forth source folder
};

// Reads definitions from Forth source: "DEFINER name ( stack ) ... \ comment".
// A colon definition whose stack comment takes "<spaces>name" from the
// input makes a defining word too, so the names it defines are found.
class SourceReader {
public:
    explicit SourceReader(fs::path top) : top_(std::move(top)) {}

    void read(const fs::path& file) {
        if (!read_files_.insert(fs::weakly_canonical(file)).second) return;
        const fs::path where = fs::absolute(file);
        std::ifstream in(file);
        if (!in) throw std::runtime_error("cannot read " + file.string());
        const std::string shown = fs::relative(where, top_).generic_string();
        for (std::string line; std::getline(in, line);) {
            read_line(line, shown);
            include_from(line, file.parent_path());
        }
    }

    const std::map<std::string, Definition>& definitions() const { return defs_; }

private:
    // Files included from the system's main file are read where they are
    // included, as the system compiles them.
    void include_from(const std::string& line, const fs::path& dir) {
        const std::vector<std::string> w = words_of(line);
        if (w.size() >= 2 && (lower(w[0]) == "include" || lower(w[0]) == "require"))
            if (fs::exists(dir / w[1])) read(dir / w[1]);
    }

    // Follows interpretation and compilation as the compiler would, so that a
    // defining word compiled into a definition defines nothing.
    void read_line(const std::string& line, const std::string& file) {
        size_t pos = 0;
        std::string word;
        while (next_word(line, pos, word)) {
            const std::string w = lower(word);
            if (w == "\\" || (w == "public" && !compiling_)) return;
            if (w == "(" || w == ".(") skip_past(line, pos, ')');
            else if (w.size() > 1 && w.back() == '"') skip_past(line, pos, '"');   // ." s" abort"
            else if (kTakesNextWord.count(w)) next_word(line, pos, word);
            else if (w == ";" || w == "end-code" || w == "[") compiling_ = false;
            else if (w == "]" || w == ":noname") compiling_ = true;
            else if (!compiling_ && definers_.count(w)) define(w, line, pos, file);
        }
    }

    void define(const std::string& definer, const std::string& line, size_t& pos,
                const std::string& file) {
        std::string name;
        if (!next_word(line, pos, name)) return;
        Definition d;
        d.file = file;
        d.stack = stack_comments(line, pos);
        if (d.stack.empty()) d.stack = effect_of_definer(definer);
        d.comment = line_comment(line, pos);
        if (kStartsDefinition.count(definer)) compiling_ = true;
        if (definer == ":" && d.stack.find("\"<spaces>name\"") != std::string::npos)
            definers_.insert(lower(name));
        defs_[lower(name)] = d;
    }

    // What a word made by a standard defining word does, when its
    // definition says nothing.
    static std::string effect_of_definer(const std::string& definer) {
        static const std::map<std::string, std::string> effects = {
            {"constant", "( -- x )"},       {"value", "( -- x )"},
            {"2constant", "( -- x1 x2 )"},  {"2value", "( -- x1 x2 )"},
            {"variable", "( -- a-addr )"},  {"2variable", "( -- a-addr )"},
            {"create", "( -- a-addr )"},    {"buffer:", "( -- a-addr )"},
            {"vocabulary", "( -- )"},
        };
        const auto e = effects.find(definer);
        return e == effects.end() ? std::string() : e->second;
    }

    static bool next_word(const std::string& line, size_t& pos, std::string& word) {
        while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
        if (pos >= line.size()) return false;
        const size_t start = pos;
        while (pos < line.size() && !std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
        word = line.substr(start, pos - start);
        return true;
    }

    static void skip_past(const std::string& line, size_t& pos, char end) {
        const size_t at = line.find(end, pos);
        pos = at == std::string::npos ? line.size() : at + 1;
    }

    // The parenthesised comments right after a name: ( x -- ) ( R: -- x ).
    static std::string stack_comments(const std::string& line, size_t& pos) {
        std::string out;
        for (;;) {
            size_t p = pos;
            std::string word;
            if (!next_word(line, p, word) || word != "(") return out;
            const size_t open = p - 1;
            skip_past(line, p, ')');
            if (!out.empty()) out += ' ';
            out += trim(line.substr(open, p - open));
            pos = p;
        }
    }

    static std::string line_comment(const std::string& line, size_t pos) {
        const size_t at = line.find(" \\ ", pos > 0 ? pos - 1 : 0);
        return at == std::string::npos ? std::string() : trim(line.substr(at + 3));
    }

    fs::path top_;
    std::set<fs::path> read_files_;
    std::set<std::string> definers_ = {":",        "prim:",    "code",      "constant",
                                       "variable", "value",    "defer",     "create",
                                       "2constant", "2variable", "2value", "vocabulary",
                                       "synonym",  "buffer:", "field:",    "cfield:"};
    std::map<std::string, Definition> defs_;
    bool compiling_ = false;

    static inline const std::set<std::string> kTakesNextWord = {
        "'", "[']", "postpone", "[compile]", "char", "[char]"};
    static inline const std::set<std::string> kStartsDefinition = {":", "prim:", "code"};
};

struct Group {
    std::string title;
    std::vector<std::string> names;
};

// The groups of public.fs: each comment line names the group of the
// "public" lines that follow it.
std::vector<Group> public_groups(const fs::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::vector<Group> groups;
    std::string title;
    bool title_used = true;
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> w = words_of(line);
        if (w.empty()) continue;
        if (w[0] == "\\") {
            title = trim(trim(line).substr(1));
            title_used = false;
        } else if (lower(w[0]) == "public") {
            if (!title_used || groups.empty()) groups.push_back({title, {}});
            title_used = true;
            for (size_t i = 1; i < w.size() && w[i] != "\\"; ++i) groups.back().names.push_back(w[i]);
        }
    }
    return groups;
}

std::string cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

// A name as code; one with a backquote is set off by doubled backquotes.
std::string code(const std::string& text) {
    const std::string fence = text.find('`') == std::string::npos ? "`" : "`` ";
    std::string out = fence;
    out += cell(text);
    out.append(fence.rbegin(), fence.rend());
    return out;
}

void write_reference(std::ostream& out, const std::vector<Group>& groups,
                     const std::map<std::string, Definition>& defs) {
    out << "# Norvex Forth: word reference\n\n"
           "The words that `norvex-rom` offers, as its source defines them. This file is\n"
           "generated from the source when the system is built (`tools/word_reference.cpp`).\n"
           "Standard words behave as the Forth-2012 standard describes them; the README\n"
           "says where this system chooses what the standard leaves open. The stack\n"
           "comment is the one in the source; a word defined by the system's own\n"
           "compiler machinery rather than a definition of its own shows none.\n"
           "`also internals` makes the system's helpers visible as well; they are not\n"
           "listed here.\n";
    for (const Group& g : groups) {
        out << "\n## " << g.title << "\n\n| Word | Stack | Note | Source |\n|---|---|---|---|\n";
        for (const std::string& name : g.names) {
            const auto d = defs.find(lower(name));
            if (d == defs.end()) {
                out << "| " << code(name) << " | | | |\n";
                continue;
            }
            out << "| " << code(name) << " | " << cell(d->second.stack) << " | "
                << cell(d->second.comment) << " | " << d->second.file << " |\n";
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: word_reference OUTPUT.md PUBLIC.fs SYSTEM_MAIN.fs KERNEL.fs...\n");
        return 2;
    }
    try {
        const fs::path system_main = fs::absolute(argv[3]);
        SourceReader reader(system_main.parent_path().parent_path());
        for (int i = 4; i < argc; ++i) reader.read(argv[i]);
        reader.read(system_main);
        std::ofstream out(argv[1]);
        if (!out) throw std::runtime_error(std::string("cannot write ") + argv[1]);
        write_reference(out, public_groups(argv[2]), reader.definitions());
        if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "word_reference: %s\n", e.what());
        return 1;
    }
    return 0;
}
