// The script language: one statement a line, `#` to the end of the line is
// a comment, words in any letter case, texts in double quotes. Statements
// and conditions are tables of keywords with the function that reads the
// rest of the line.
#include <algorithm>
#include <array>
#include <charconv>

#include "opstation/runner/script.h"
#include "opstation/runner/text_form.h"
#include "opstation/panel/vocabulary.h"

namespace opstation {

namespace {

struct SyntaxError {
    int column;
    std::string message;
};

struct Token {
    bool quoted = false;
    std::string word;      // in lower case, for a word
    std::string_view raw;  // as written, for messages
    Text text;             // for a quoted text
    int column = 0;
};

struct LexedLine {
    std::vector<Token> tokens;
    std::size_t codeEnd = 0;  // where the comment starts, or the line's end
    int endColumn = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Columns count characters, not bytes: UTF-8 continuation bytes add none.
// Counted onwards from a known place, so that reading a line stays linear
// however many tokens it holds.
class Columns {
public:
    explicit Columns(std::string_view line) : line_(line) {}
    int at(std::size_t offset) {
        if (offset < offset_) offset_ = 0, column_ = 1;
        for (; offset_ < offset && offset_ < line_.size(); ++offset_)
            if ((static_cast<unsigned char>(line_[offset_]) & 0xC0) != 0x80) ++column_;
        return column_;
    }

private:
    std::string_view line_;
    std::size_t offset_ = 0;
    int column_ = 1;
};

int columnOf(std::string_view line, std::size_t offset) { return Columns(line).at(offset); }

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct SimpleEscape {
    char written;
    char16_t unit;
};
constexpr std::array kSimpleEscapes = {SimpleEscape{'"', u'"'}, SimpleEscape{'\\', u'\\'}, SimpleEscape{'0', u'\0'}};
constexpr std::string_view kEscapeList = "\\\", \\\\, \\0 or \\xHH";

// The escape at line[at] (just after its backslash); returns the offset after it.
std::size_t readEscape(std::string_view line, std::size_t at, Text &text) {
    const int column = columnOf(line, at - 1);
    if (at >= line.size()) throw SyntaxError{column, "expected an escape (" + std::string(kEscapeList) + ")"};
    for (const SimpleEscape &e : kSimpleEscapes) {
        if (line[at] == e.written) {
            text += e.unit;
            return at + 1;
        }
    }
    if (line[at] == 'x' && at + 2 < line.size() && hexDigit(line[at + 1]) >= 0 && hexDigit(line[at + 2]) >= 0) {
        text += static_cast<char16_t>(hexDigit(line[at + 1]) * 16 + hexDigit(line[at + 2]));
        return at + 3;
    }
    throw SyntaxError{column, "expected an escape (" + std::string(kEscapeList) + ")"};
}

// A quoted text starting at line[start] (the quote); returns the offset after it.
std::size_t readQuoted(std::string_view line, std::size_t start, Token &token) {
    token.quoted = true;
    std::size_t i = start + 1;
    while (i < line.size() && line[i] != '"') {
        if (line[i] == '\\') {
            i = readEscape(line, i + 1, token.text);
            continue;
        }
        const std::size_t at = i;
        const std::optional<char32_t> code = nextUtf8(line, i);
        if (!code) throw SyntaxError{columnOf(line, at), "expected UTF-8 text"};
        if (*code > 0xFFFF) throw SyntaxError{columnOf(line, at), "expected a character that a display line can hold"};
        token.text += static_cast<char16_t>(*code);
    }
    if (i >= line.size()) throw SyntaxError{columnOf(line, i), "expected a closing quote"};
    return i + 1;
}

LexedLine lex(std::string_view line) {
    LexedLine out;
    Columns columns(line);
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Token token;
        token.column = columns.at(i);
        const std::size_t start = i;
        if (line[i] == '"') {
            i = readQuoted(line, i, token);
        } else {
            while (i < line.size() && !isBlank(line[i]) && line[i] != '"' && line[i] != '#') ++i;
            token.word = lowerCase(line.substr(start, i - start));
        }
        token.raw = line.substr(start, i - start);
        out.tokens.push_back(std::move(token));
    }
    out.codeEnd = i;
    out.endColumn = columns.at(std::min(i, line.size()));
    return out;
}

template <typename T, std::size_t N>
std::string alternatives(const std::array<Named<T>, N> &table) {
    std::string out;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) out += i + 1 == N ? " or " : ", ";
        out += table[i].name;
    }
    return out;
}

// Reads one line's tokens in order; every read names what it expects, and
// a mismatch fails at the token's column.
class Cursor {
public:
    Cursor(const LexedLine &line, std::size_t first) : line_(line), next_(first) {}

    bool atEnd() const { return next_ >= line_.tokens.size(); }

    const Token &take(std::string_view expected) {
        if (atEnd()) fail(expected);
        return line_.tokens[next_++];
    }

    const std::string &word(std::string_view expected) {
        if (atEnd() || line_.tokens[next_].quoted) fail(expected);
        return line_.tokens[next_++].word;
    }

    bool accept(std::string_view word) {
        if (atEnd() || line_.tokens[next_].quoted || line_.tokens[next_].word != word) return false;
        ++next_;
        return true;
    }

    template <typename T, std::size_t N>
    T named(const std::array<Named<T>, N> &table, std::string_view what) {
        const std::string expected = std::string(what) + " (" + alternatives(table) + ")";
        if (atEnd() || line_.tokens[next_].quoted) fail(expected);
        const std::optional<T> value = valueOf(table, line_.tokens[next_].word);
        if (!value) fail(expected);
        ++next_;
        return *value;
    }

    uint64_t number(uint64_t max, std::string_view expected) {
        const std::string &text = word(expected);
        uint64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size() || value > max) failBefore(expected);
        return value;
    }

    Text text(std::string_view what) {
        if (atEnd() || !line_.tokens[next_].quoted) fail(std::string(what) + " in double quotes");
        return line_.tokens[next_++].text;
    }

    void end() {
        if (!atEnd()) fail("the end of the line");
    }

    [[noreturn]] void fail(std::string_view expected) const {
        if (atEnd()) throw SyntaxError{line_.endColumn, "expected " + std::string(expected) + ", found the end of the line"};
        const Token &token = line_.tokens[next_];
        const std::string found = token.quoted ? "a quoted text" : quotedSource(token.raw);
        throw SyntaxError{token.column, "expected " + std::string(expected) + ", found " + found};
    }

    // Fails at the token just taken.
    [[noreturn]] void failBefore(std::string_view expected) {
        --next_;
        fail(expected);
    }
    [[noreturn]] void rejectBefore(std::string message) const {
        throw SyntaxError{line_.tokens[next_ - 1].column, std::move(message)};
    }

private:
    const LexedLine &line_;
    std::size_t next_;
};

// ---- conditions ----

using Test = Condition::Test;

constexpr std::array<Named<Test>, 3> kLineTests = {
    {{"is", Test::lineIs}, {"shows", Test::lineShows}, {"contains", Test::lineContains}}};
constexpr std::array<Named<Test>, 2> kTitleTests = {{{"is", Test::titleIs}, {"contains", Test::titleContains}}};
constexpr std::array<Named<Test>, 2> kLedTests = {{{"is", Test::ledShows}, {"words", Test::ledWords}}};

int16_t ledWord(Cursor &c) {
    constexpr std::string_view kExpected = "an LED word (-32768 to 65535, or 0x0000 to 0xFFFF)";
    const std::string &text = c.word(kExpected);
    const bool hex = text.starts_with("0x");
    const char *first = text.data() + (hex ? 2 : 0);
    const char *last = text.data() + text.size();
    long value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (error != std::errc{} || end != last || first == last || value < -32768 || value > 65535) c.failBefore(kExpected);
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

void lineCondition(Cursor &c, Condition &condition) {
    condition.line = static_cast<int>(c.named(std::array<Named<int>, 2>{{{"1", 0}, {"2", 1}}}, "a line number"));
    condition.test = c.named(kLineTests, "a test of the line");
    if (condition.test == Test::lineIs && c.accept("exactly")) {
        condition.test = Test::lineIsExactly;
        condition.text = c.text("the whole line");
        if (condition.text.size() != kLineSize)
            c.rejectBefore("expected the whole line: exactly " + std::to_string(kLineSize) +
                           " characters (\\0 for a NUL), found " + std::to_string(condition.text.size()));
        return;
    }
    condition.text = c.text("a text");
    // A text longer than what it is compared with can never match.
    const bool shown = condition.test == Test::lineShows;
    const std::size_t most = shown ? kShownLineSize : kLineSize;
    if (condition.text.size() > most)
        c.rejectBefore("expected a text of at most " + std::to_string(most) + " characters, which " +
                       (shown ? "the display shows of a line" : "a line holds") + ", found " +
                       std::to_string(condition.text.size()));
}

void ledCondition(Cursor &c, Condition &condition) {
    condition.led = c.named(kLedNames, "an LED");
    condition.test = c.named(kLedTests, "a test of the LED");
    if (condition.test == Test::ledShows) {
        condition.showing = c.named(kLedShowingNames, "what the LED shows");
        return;
    }
    condition.words.on = ledWord(c);
    condition.words.flash = ledWord(c);
}

void titleCondition(Cursor &c, Condition &condition) {
    condition.test = c.named(kTitleTests, "a test of the title");
    condition.text = c.text("a text");
}

using ConditionReader = void (*)(Cursor &, Condition &);
constexpr std::array<Named<ConditionReader>, 3> kConditions = {{
    {"line", lineCondition},
    {"led", ledCondition},
    {"title", titleCondition},
}};

void condition(Cursor &c, Condition &condition) { c.named(kConditions, "a condition")(c, condition); }

// ---- statements ----

using Kind = Statement::Kind;

void keys(Cursor &c, Statement &s) {
    do {
        s.keys.push_back(c.named(kPanelKeyNames, "a panel key"));
    } while (!c.atEnd());
}

void pcKey(Cursor &c, Statement &s) {
    constexpr std::string_view kExpected = "a PC key (a letter, up, down, left, right, F2, F3, F4 or a virtual-key code 0 to 255)";
    const std::string &name = c.word(kExpected);
    int code = -1;
    if (const std::optional<int> named = valueOf(kPcKeyNames, name)) {
        code = *named;
    } else if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') {
        code = name[0] - 'a' + 'A';  // a letter key's code is its capital letter
    } else {
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), code);
        if (error != std::errc{} || end != name.data() + name.size() || code < 0 || code > 255) c.failBefore(kExpected);
    }
    s.keyCode = code;
    s.kind = c.named(std::array<Named<Kind>, 2>{{{"down", Kind::keyDown}, {"up", Kind::keyUp}}}, "what the key does");
}

const std::string kCycles = "a number of cycles (0 to " + std::to_string(kMaxCount) + ")";

void wait(Cursor &c, Statement &s) {
    if (!c.accept("until")) {
        s.count = c.number(kMaxCount, kCycles + " or until");
        return;
    }
    s.kind = Kind::waitUntil;
    condition(c, s.condition);
    if (!c.accept("within")) c.fail("within");
    s.count = c.number(kMaxCount, kCycles);
}

void expect(Cursor &c, Statement &s) { condition(c, s.condition); }

void repeat(Cursor &c, Statement &s) {
    s.count = c.number(kMaxCount, "a number of times (0 to " + std::to_string(kMaxCount) + ")");
}

struct StatementSyntax {
    Kind kind;
    void (*read)(Cursor &, Statement &);
};

constexpr std::string_view kEnd = "end";
constexpr std::array<Named<StatementSyntax>, 8> kStatements = {{
    {"press", {Kind::press, keys}},
    {"release", {Kind::release, keys}},
    {"tap", {Kind::tap, keys}},
    {"key", {Kind::keyDown, pcKey}},
    {"wait", {Kind::wait, wait}},
    {"expect", {Kind::expect, expect}},
    {"repeat", {Kind::repeat, repeat}},
    {kEnd, {Kind::repeat, nullptr}},  // closes a repeat
}};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Builds the statement tree, line by line, keeping the open repeats.
class ScriptBuilder {
public:
    explicit ScriptBuilder(ParsedScript &out) : out_(out) {}

    void line(int number, std::string_view text) {
        try {
            const LexedLine lexed = lex(text);
            if (!lexed.tokens.empty()) statement(number, text, lexed);
        } catch (const SyntaxError &error) {
            out_.errors.push_back({number, error.column, error.message});
        }
    }

    void finish() {
        for (const Open &open : open_)
            out_.errors.push_back({open.line, open.column, "expected an end for this repeat before the end of the script"});
        std::stable_sort(out_.errors.begin(), out_.errors.end(), [](const ScriptError &a, const ScriptError &b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
    }

private:
    struct Open {
        std::vector<Statement> *body;
        int line, column;
    };

    std::vector<Statement> &current() { return open_.empty() ? out_.script.statements : *open_.back().body; }

    void statement(int number, std::string_view text, const LexedLine &lexed) {
        Cursor c(lexed, 0);
        const StatementSyntax syntax = c.named(kStatements, "a statement");
        const int column = lexed.tokens.front().column;
        if (syntax.read == nullptr) return end(c, column);

        Statement s;
        s.kind = syntax.kind;
        s.line = number;
        s.source = printableSource(trimmed(text.substr(0, lexed.codeEnd)));
        // A repeat opens its block even when the rest of its line is wrong,
        // so that its end still matches it.
        std::optional<SyntaxError> error;
        try {
            syntax.read(c, s);
            c.end();
        } catch (SyntaxError &e) {
            error = std::move(e);
        }
        current().push_back(std::move(s));
        if (current().back().kind == Kind::repeat) open_.push_back({&current().back().body, number, column});
        if (error) throw std::move(*error);
    }

    void end(Cursor &c, int column) {
        c.end();
        if (open_.empty()) throw SyntaxError{column, "expected a statement: this end closes no repeat"};
        open_.pop_back();
    }

    ParsedScript &out_;
    std::vector<Open> open_;
};

// Where a file stops being text: a NUL byte, or bytes that are not UTF-8
// (a binary file shows one or the other within its first bytes).
std::optional<ScriptError> notText(std::string_view text) {
    int line = 1;
    std::size_t lineStart = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const std::optional<char32_t> code = nextUtf8(text, at);
        const char *what = !code ? "bytes that are not UTF-8" : *code == 0 ? "a NUL byte" : nullptr;
        if (what != nullptr)
            return ScriptError{0, 0,
                               std::string("is not a text file: it holds ") + what + " at line " + std::to_string(line) +
                                   ", column " + std::to_string(columnOf(text.substr(lineStart), start - lineStart))};
        if (*code == '\n') ++line, lineStart = at;
    }
    return std::nullopt;
}

}  // namespace

bool checksNothing(const std::vector<Statement> &statements) {
    return std::none_of(statements.begin(), statements.end(), [](const Statement &s) {
        return s.kind == Kind::expect || s.kind == Kind::waitUntil || !checksNothing(s.body);
    });
}

ParsedScript parseScript(std::string_view text, std::string name) {
    ParsedScript out;
    out.script.name = std::move(name);
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark
    if (auto error = notText(text)) {
        out.errors.push_back(std::move(*error));
        return out;
    }
    ScriptBuilder builder(out);
    int number = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        builder.line(++number, text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    }
    builder.finish();
    return out;
}

std::string describe(const std::string &scriptName, const ScriptError &error) {
    if (error.line == 0) return scriptName + " " + error.message;
    return scriptName + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": " + error.message;
}

std::vector<std::string> describe(const std::string &scriptName, const std::vector<ScriptError> &errors, std::size_t most) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < errors.size() && i < most; ++i) lines.push_back(describe(scriptName, errors[i]));
    if (errors.size() > most) lines.push_back("and " + std::to_string(errors.size() - most) + " more");
    return lines;
}

}  // namespace opstation
