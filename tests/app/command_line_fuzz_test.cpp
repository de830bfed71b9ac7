// Ten thousand generated command lines, split the way Windows splits them and parsed: each must
// give the options a small model of the rules predicts. The model is written from the rules as
// the header and the callers know them, not from the parser's code:
//   - an option is "/name:value" in one argument; the name runs to the first colon, and an empty
//     name or value makes the argument count for nothing;
//   - names are case-insensitive; unknown names change nothing;
//   - /mode: "fast" gives Fast, "noui" NoUi, anything else Normal; /silent: a value that reads
//     as the number 1 gives Fast, anything else changes nothing;
//   - /install_dir: kept (blanks trimmed, one trailing backslash dropped) only when it is a full
//     path on a fixed drive shorter than MAX_PATH whose names are all real names; a refused value
//     leaves the folder as it was;
//   - /auto_start: true or false, any other value changes nothing;
//   - /src, /uin, /lt, /startargs: the value as given;
//   - of two effective values of the same setting, the later one wins.
// The generator is seeded; the seed is printed, and PELORA_COMMAND_LINE_SEED replays another one.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

constexpr uint32_t kDefaultSeed = 20261209;
constexpr int kLineCount = 10000;
// Every fixed buffer a value may meet on its way: MAX_PATH, the 520-byte form of it, and the
// 32 K characters of a whole process command line.
constexpr size_t kBufferLimits[] = {MAX_PATH, 520, 32767};

// ---- The model -----------------------------------------------------------------------------

struct ModelOptions {
    SetupMode mode = SetupMode::Normal;
    std::wstring installFolder;
    std::wstring sourceTag;
    std::wstring userId;
    std::wstring lt;
    std::wstring startArguments;
    int32_t autoStart = CommandLineOptions::kAutoStartNotGiven;
};

// The generator writes names and keywords in ASCII letters only where case matters, so ASCII
// folding is all the model needs.
std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
    }
    return text;
}

// The C blanks; the generator puts no other blank where it would matter.
bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// A /silent value read as a base-10 long: blanks, a sign, digits, anything after them ignored.
// No digit, or a number outside the 32-bit range, reads as -1.
long long SilentNumber(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    if (i == text.size() || text[i] < L'0' || text[i] > L'9') return -1;
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > (1LL << 31)) return -1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return -1;
    return value;
}

std::wstring Trim(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Asked of the system once per root: under a loaded Wine one question takes milliseconds.
bool IsFixedDriveRoot(const std::wstring& root) {
    static std::map<std::wstring, bool> fixed;
    const auto known = fixed.find(root);
    if (known != fixed.end()) return known->second;
    return fixed[root] = GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

// A real folder name: not made of dots and blanks only, no control character, none of "*/<>?\|,
// and no colon either, which NTFS reads as the start of a stream name ("C:\a:b" is stream b of
// C:\a).
bool IsRealName(const std::wstring& name) {
    bool onlyDotsAndBlanks = true;
    for (wchar_t c : name) {
        if (c != L'.' && c != L' ') onlyDotsAndBlanks = false;
        if (c < 32 || std::wstring(L"\"*/:<>?\\|").find(c) != std::wstring::npos) return false;
    }
    return !onlyDotsAndBlanks;
}

// The folder an /install_dir value names, or empty when the value is refused; `limit` is the
// length from which a path is refused.
std::wstring AcceptedFolder(const std::wstring& value, size_t limit = MAX_PATH) {
    const std::wstring path = Trim(value);
    if (path.size() >= limit || path.size() < 4) return std::wstring();
    if (path[1] != L':' || path[2] != L'\\' || !IsFixedDriveRoot(path.substr(0, 3))) return std::wstring();
    std::wstring folder = path;
    if (folder.back() == L'\\') folder.pop_back();
    std::wstring rest = folder.substr(3);
    if (rest.empty()) return std::wstring();
    size_t start = 0;
    for (;;) {
        const size_t slash = rest.find(L'\\', start);
        if (!IsRealName(rest.substr(start, slash == std::wstring::npos ? slash : slash - start))) return std::wstring();
        if (slash == std::wstring::npos) return folder;
        start = slash + 1;
    }
}

// One argument's effect on the options.
void Apply(ModelOptions& options, const std::wstring& argument) {
    const size_t colon = argument.find(L':');
    if (argument.empty() || argument[0] != L'/' || colon == std::wstring::npos) return;
    const std::wstring name = AsciiLower(argument.substr(1, colon - 1));
    const std::wstring value = argument.substr(colon + 1);
    if (name.empty() || value.empty()) return;
    if (name == L"mode") {
        const std::wstring keyword = AsciiLower(value);
        options.mode = keyword == L"fast" ? SetupMode::Fast : keyword == L"noui" ? SetupMode::NoUi : SetupMode::Normal;
    } else if (name == L"silent") {
        if (SilentNumber(value) == 1) options.mode = SetupMode::Fast;
    } else if (name == L"install_dir") {
        const std::wstring folder = AcceptedFolder(value);
        if (!folder.empty()) options.installFolder = folder;
    } else if (name == L"auto_start") {
        const std::wstring word = AsciiLower(value);
        if (word == L"true") options.autoStart = CommandLineOptions::kAutoStartTrue;
        if (word == L"false") options.autoStart = CommandLineOptions::kAutoStartFalse;
    } else if (name == L"src") {
        options.sourceTag = value;
    } else if (name == L"uin") {
        options.userId = value;
    } else if (name == L"lt") {
        options.lt = value;
    } else if (name == L"startargs") {
        options.startArguments = value;
    }
}

ModelOptions Model(const std::vector<std::wstring>& arguments) {
    ModelOptions options;
    for (size_t i = 1; i < arguments.size(); ++i) Apply(options, arguments[i]);
    return options;
}

// ---- The generator ---------------------------------------------------------------------------

// One argument as Windows programs quote it: inside quotes, a quote is escaped with a backslash
// and the backslashes in front of a quote (or of the closing quote) are doubled. `from` is where
// the quoted part starts ("/install_dir:"C:\a b"" is one argument as well).
std::wstring Quoted(const std::wstring& argument, size_t from) {
    std::wstring text = argument.substr(0, from) + L'"';
    size_t backslashes = 0;
    for (size_t i = from; i < argument.size(); ++i) {
        const wchar_t c = argument[i];
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L'"';
}

struct GeneratedLine {
    std::wstring text;
    std::vector<std::wstring> arguments;  // what the text means, program path first
    bool quotedCorrectly = true;          // false once the text was damaged after quoting
};

class LineGenerator {
public:
    explicit LineGenerator(uint32_t seed) : m_random(seed) {}

    GeneratedLine Next() {
        GeneratedLine line;
        line.arguments.push_back(Chance(50) ? L"C:\\PeloraSetup.exe" : L"C:\\Program Files\\Pelora Setup\\PeloraSetup.exe");
        line.text = Quoted(line.arguments[0], 0);
        const int count = Below(100) < 5 ? 0 : 1 + Below(Chance(5) ? 30 : 6);
        for (int i = 0; i < count; ++i) {
            std::wstring argument = Argument();
            line.arguments.push_back(argument);
            line.text += Separator();
            line.text += Encoded(argument);
        }
        if (Chance(25)) {
            Damage(line.text);
            line.quotedCorrectly = false;
        }
        if (Chance(10)) line.text += Separator();
        return line;
    }

private:
    int Below(int n) { return static_cast<int>(m_random() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <size_t N>
    const wchar_t* Pick(const wchar_t* const (&choices)[N]) { return choices[Below(static_cast<int>(N))]; }

    std::wstring Separator() {
        std::wstring blanks(1 + Below(Chance(90) ? 1 : 4), L' ');
        for (wchar_t& c : blanks) {
            if (Chance(20)) c = L'\t';
        }
        return blanks;
    }

    // Plain when nothing forces quotes (sometimes quoted anyway), else quoted as a whole or from
    // just after the colon.
    std::wstring Encoded(const std::wstring& argument) {
        const bool needsQuotes = argument.empty() || argument.find_first_of(L" \t\"") != std::wstring::npos;
        if (!needsQuotes && !Chance(10)) return argument;
        const size_t colon = argument.find(L':');
        const bool colonIsPlain = colon != std::wstring::npos &&
                                  argument.find_first_of(L" \t\"") > colon;
        return Quoted(argument, colonIsPlain && Chance(50) ? colon + 1 : 0);
    }

    // Unbalanced quotes, stray backslashes and quote pairs put anywhere: the argument list is then
    // what Windows makes of the text, no longer what was generated.
    void Damage(std::wstring& text) {
        static const wchar_t* const kPieces[] = {L"\"", L"\"\"", L"\\\"", L"\\\\\"", L"\"\"\"", L" \"", L"\" ",
                                                 L"\\", L" \"/mode:noui", L"\t\"\"\t", L"/mode:fast\""};
        const int damages = 1 + Below(3);
        for (int i = 0; i < damages; ++i) {
            const size_t at = text.size() < 2 ? text.size() : 1 + static_cast<size_t>(m_random() % text.size());
            if (Chance(30)) {
                const size_t quote = text.find(L'"', at);
                if (quote != std::wstring::npos) {
                    text.erase(quote, 1);
                    continue;
                }
            }
            text.insert(at, Pick(kPieces));
        }
    }

    std::wstring Argument() {
        switch (Below(20)) {
            case 0: return Text(Length());  // anything at all
            case 1: return Pick({L"/", L"/:", L"//", L"/mode", L"/mode:", L":noui", L"", L"-mode:noui", L"mode:noui"});
            default: break;
        }
        std::wstring name = Name();
        const std::wstring lowered = AsciiLower(name);
        std::wstring start = Chance(95) ? L"/" : Pick({L"-", L"\\", L"\xFF0F", L"//", L" /"});
        std::wstring colon = Chance(95) ? L":" : Pick({L"=", L"\xFF1A", L"::", L"", L" :"});
        return start + name + colon + Value(lowered);
    }

    // A name the setup knows, in any case, or one it does not: near misses, other programs'
    // switches, blanks, non-ASCII text.
    std::wstring Name() {
        static const wchar_t* const kKnown[] = {L"mode", L"mode", L"mode", L"silent", L"silent", L"install_dir",
                                                L"src", L"uin", L"lt", L"startargs", L"auto_start"};
        static const wchar_t* const kNearMisses[] = {
            L"source", L"uid", L"autostart", L"auto-start", L"installdir", L"install_dir ", L" mode",
            L"mode ", L"m\x00F6" L"de", L"loglevel", L"logbuf", L"ldd", L"startarg", L"mode\tx", L"\x6A21\x5F0F"};
        const int kind = Below(100);
        if (kind < 70) {
            std::wstring name = Pick(kKnown);
            for (wchar_t& c : name) {
                if (c >= L'a' && c <= L'z' && Chance(30)) c = static_cast<wchar_t>(c - (L'a' - L'A'));
            }
            return name;
        }
        if (kind < 90) return Pick(kNearMisses);
        return Text(Below(12));
    }

    std::wstring Value(const std::wstring& name) {
        if (Chance(5)) return std::wstring();
        if (name == L"mode") {
            if (Chance(80)) {
                return Pick({L"fast", L"noui", L"FAST", L"NoUi", L"nOuI", L"Fast", L"noui", L"fast", L"normal",
                             L" fast", L"fast ", L"noui\t", L"no ui", L"noui:", L"fastest", L"quiet", L"f\x00E0st",
                             L"\"noui\""});
            }
            return Text(Length());
        }
        if (name == L"silent") {
            if (Chance(80)) {
                return Pick({L"1", L"01", L"+1", L"-1", L" 1", L"\t\n1", L"1x", L"1 2", L"1\x4E2D", L"2", L"0",
                             L"true", L"0x1", L"+ 1", L"2147483647", L"2147483648", L"4294967297",
                             L"-2147483648", L"-2147483649", L"99999999999999999999", L"00000000000000000001"});
            }
            return Text(Length());
        }
        if (name == L"install_dir") return Chance(90) ? Folder() : Text(Length());
        if (name == L"auto_start") {
            if (Chance(80)) return Pick({L"true", L"false", L"TRUE", L"False", L"yes", L"1", L"0", L" true", L"false "});
            return Text(Length());
        }
        return Text(Length());
    }

    // Text of `length` UTF-16 units from every corner: ASCII with quotes and backslashes, Chinese,
    // surrogate pairs, lone surrogates, control characters (no NUL). No blank other than the C
    // blanks, no non-ASCII digit and no letter whose lower case is ASCII: the rules are written for
    // those only.
    std::wstring Text(size_t length) {
        std::wstring text;
        text.reserve(length + 1);
        while (text.size() < length) {
            const int kind = Below(100);
            if (kind < 45) {
                text += static_cast<wchar_t>(0x20 + Below(0x5F));
            } else if (kind < 60) {
                text += static_cast<wchar_t>(L'a' + Below(26));
            } else if (kind < 75) {
                text += static_cast<wchar_t>(0x4E00 + Below(0x51A6));
            } else if (kind < 80) {
                text += Pick({L"\x00E9", L"\x00FC", L"\x0416", L"\x00DF", L"\x3042", L"\xFFFD", L"\x0301"});
            } else if (kind < 85 && text.size() + 2 <= length) {
                text += static_cast<wchar_t>(0xD83D);
                text += static_cast<wchar_t>(0xDE00 + Below(0x50));
            } else if (kind < 88) {
                text += static_cast<wchar_t>(0xD800 + Below(0x400));  // a high half without its low half
            } else if (kind < 91) {
                text += static_cast<wchar_t>(0xDC00 + Below(0x400));  // a low half alone
            } else if (kind < 95) {
                text += Pick({L"\x01", L"\x07", L"\x08", L"\x0B", L"\x0C", L"\x1B", L"\n", L"\r", L"\t", L"\x7F"});
            } else {
                text += Pick({L"\"", L"\\", L" ", L":", L"/", L"\\\""});
            }
        }
        text.resize(length);
        return text;
    }

    // Mostly short; now and then just around one of the buffer limits.
    size_t Length() {
        const int kind = Below(100);
        if (kind < 75) return static_cast<size_t>(1 + Below(12));
        if (kind < 92) return static_cast<size_t>(12 + Below(60));
        const size_t limit = kBufferLimits[Below(kind < 98 ? 2 : 3)];
        return limit - 2 + static_cast<size_t>(Below(5));
    }

    // A name of a folder: plain, Chinese, with blanks or dots, a surrogate pair or a lone half,
    // and now and then a name no folder may have.
    std::wstring FolderName() {
        const int kind = Below(100);
        if (kind < 30) return Pick({L"Pelora", L"Program Files", L"\x6620\x5F69\x76F4\x64AD", L"Apps.", L"Apps ",
                                    L"a.b", L".hidden", L"x", L"\xD83D\xDE00", L"\xD800", L"\xDC00x"});
        if (kind < 38) return Pick({L".", L"..", L" ", L". .", L"", L"a?b", L"a*b", L"a|b", L"a<b", L"a>b",
                                    L"a\"b", L"a/b", L"a\x01" L"b", L"a\x1F" L"b", L"a:b"});
        std::wstring name;
        const size_t length = 1 + static_cast<size_t>(Below(16));
        while (name.size() < length) {
            const int pick = Below(10);
            if (pick < 5) name += static_cast<wchar_t>(L'a' + Below(26));
            else if (pick < 7) name += static_cast<wchar_t>(0x4E00 + Below(0x51A6));
            else if (pick < 8) name += Pick({L" ", L".", L"-", L"_", L"'", L"#", L"\x00E9"});
            else if (pick < 9) name += Pick({L"\xD83D\xDE00", L"\xD840\xDC0B"});
            else name += static_cast<wchar_t>(0xD800 + Below(0x800));
        }
        return name;
    }

    std::wstring Folder() {
        std::wstring path;
        const int drive = Below(100);
        if (drive < 78) path = L"C:";
        else if (drive < 83) path = L"c:";
        else if (drive < 87) path = L"Z:";
        else if (drive < 91) path = L"Q:";
        else if (drive < 93) path = Pick({L"1:", L"\x4E2D:", L"::", L"C"});
        else path = Pick({L"", L"\\", L"\\\\server\\share", L"\\\\?\\C:", L"\\\\.\\C:", L"C:\\C:", L".", L"~"});
        path += Chance(95) ? L"\\" : Pick({L"/", L"\\\\", L""});
        const int names = Chance(5) ? 0 : 1 + Below(4);
        for (int i = 0; i < names; ++i) {
            if (i > 0) path += Chance(97) ? L"\\" : Pick({L"/", L"\\\\"});
            path += FolderName();
        }
        // A folder whose path is just around MAX_PATH (with and without its trailing backslash), or
        // far past it.
        const int size = Below(100);
        if (size < 12) Pad(path, MAX_PATH - 3 + static_cast<size_t>(Below(5)));
        else if (size < 15) Pad(path, 518 + static_cast<size_t>(Below(5)));
        else if (size < 16) Pad(path, 32765 + static_cast<size_t>(Below(5)));
        const int end = Below(100);
        if (end < 20) path += L"\\";
        else if (end < 24) path += Pick({L"\\\\", L"/", L"\\.", L"\\ "});
        if (Chance(15)) path = Blanks() + path;
        if (Chance(15)) path += Blanks();
        return path;
    }

    // Letters (or Chinese) on the last name until the path has `length` units.
    void Pad(std::wstring& path, size_t length) {
        const wchar_t filler = Chance(50) ? L'p' : L'\x4E2D';
        if (path.size() < length) path.append(length - path.size(), filler);
    }

    std::wstring Blanks() {
        std::wstring blanks;
        for (int i = 0, n = 1 + Below(3); i < n; ++i) blanks += Pick({L" ", L"\t", L"\n", L"\r", L"\x0B", L"\x0C"});
        return blanks;
    }

    std::mt19937 m_random;
};

// ---- The run ---------------------------------------------------------------------------------

struct LocalFreeDeleter {
    void operator()(wchar_t** argv) const { LocalFree(argv); }
};

std::vector<std::wstring> SplitLikeWindows(const std::wstring& line) {
    int count = 0;
    std::unique_ptr<wchar_t*, LocalFreeDeleter> argv(CommandLineToArgvW(line.c_str(), &count));
    std::vector<std::wstring> arguments;
    if (!argv) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(argv.get()[i]);
    return arguments;
}

CommandLineOptions Parse(const std::vector<std::wstring>& arguments) {
    std::vector<const wchar_t*> argv;
    for (const std::wstring& argument : arguments) argv.push_back(argument.c_str());
    CommandLineOptions options;
    ParseArguments(options, static_cast<int>(argv.size()), argv.data());
    return options;
}

// The text with everything but printable ASCII as \uXXXX, long runs shortened, so that a failing
// line can be read (and found again with the seed and its number).
std::string Readable(const std::wstring& text) {
    std::string out;
    const size_t head = text.size() > 360 ? 240 : text.size();
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == head) {
            out += "...[" + std::to_string(text.size()) + " units in all]...";
            i = text.size() - 100;
        }
        const wchar_t c = text[i];
        if (c >= 0x20 && c < 0x7F && c != L'\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(c));
            out += c == L'\\' ? std::string("\\\\") : std::string(escaped);
        }
    }
    return out;
}

const char* ModeName(SetupMode mode) {
    return mode == SetupMode::Fast ? "Fast" : mode == SetupMode::NoUi ? "NoUi" : "Normal";
}

// What the parser gave against what the model says, one line per setting that differs.
std::string Differences(const CommandLineOptions& got, const ModelOptions& want) {
    std::string out;
    auto text = [&out](const char* what, const std::wstring& gotValue, const std::wstring& wantValue) {
        if (gotValue == wantValue) return;
        out += std::string("\n  ") + what + ": got \"" + Readable(gotValue) + "\", want \"" + Readable(wantValue) + "\"";
    };
    if (got.Mode() != want.mode) {
        out += std::string("\n  mode: got ") + ModeName(got.Mode()) + ", want " + ModeName(want.mode);
    }
    text("install folder", got.InstallFolder(), want.installFolder);
    text("source tag", got.SourceTag(), want.sourceTag);
    text("user id", got.UserId(), want.userId);
    text("lt", got.Lt(), want.lt);
    text("start arguments", got.StartArguments(), want.startArguments);
    if (got.AutoStartValue() != want.autoStart) {
        out += "\n  auto start: got " + std::to_string(got.AutoStartValue()) + ", want " + std::to_string(want.autoStart);
    }
    return out;
}

uint32_t Seed() {
    const char* text = getenv("PELORA_COMMAND_LINE_SEED");
    return text && *text ? static_cast<uint32_t>(strtoul(text, nullptr, 10)) : kDefaultSeed;
}

// How often the lines reached each outcome: a generator that stopped reaching one would let the
// rules behind it go untested.
struct Reached {
    int fast = 0, noUi = 0, silentMadeFast = 0, modeBackToNormal = 0;
    int keptFolders = 0, keptAtTheLimit = 0, refusedAtTheLimit = 0, refusedAfterKept = 0;
    int autoStart = 0, strings = 0, splitDifferently = 0;
    int driveQuestions = 0;  // folders whose drive the parser must ask about: each costs time
};

bool StartsWith(const std::wstring& argument, const wchar_t* lowerPrefix) {
    const size_t length = wcslen(lowerPrefix);
    return argument.size() > length && AsciiLower(argument.substr(0, length)) == lowerPrefix;
}

void Count(const std::vector<std::wstring>& arguments, Reached& reached) {
    ModelOptions state;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const SetupMode modeBefore = state.mode;
        const bool folderBefore = !state.installFolder.empty();
        Apply(state, argument);
        if (StartsWith(argument, L"/mode:") && modeBefore != SetupMode::Normal && state.mode == SetupMode::Normal) {
            ++reached.modeBackToNormal;
        }
        if (StartsWith(argument, L"/silent:") && modeBefore != SetupMode::Fast && state.mode == SetupMode::Fast) {
            ++reached.silentMadeFast;
        }
        if (StartsWith(argument, L"/install_dir:")) {
            const std::wstring value = argument.substr(13);
            const size_t length = Trim(value).size();
            const bool kept = !AcceptedFolder(value).empty();
            const std::wstring path = Trim(value);
            if (length < MAX_PATH && length >= 3 && path[1] == L':' && path[2] == L'\\') ++reached.driveQuestions;
            if (!kept && folderBefore) ++reached.refusedAfterKept;
            if (kept && length == MAX_PATH - 1) ++reached.keptAtTheLimit;
            if (length == MAX_PATH && !AcceptedFolder(value, SIZE_MAX).empty()) ++reached.refusedAtTheLimit;
        }
    }
    if (state.mode == SetupMode::Fast) ++reached.fast;
    if (state.mode == SetupMode::NoUi) ++reached.noUi;
    if (state.autoStart != CommandLineOptions::kAutoStartNotGiven) ++reached.autoStart;
    if (!state.sourceTag.empty() && !state.userId.empty() && !state.startArguments.empty()) ++reached.strings;
    if (!state.installFolder.empty()) ++reached.keptFolders;
}

TEST(CommandLineFuzz, GeneratedLinesGiveTheOptionsTheRulesSay) {
    const uint32_t seed = Seed();
    std::cout << "[ seed     ] " << seed << " (PELORA_COMMAND_LINE_SEED=" << seed << " replays it), "
              << kLineCount << " lines\n";
    LineGenerator generator(seed);
    Reached reached;
    int failures = 0;
    for (int number = 0; number < kLineCount && failures < 5; ++number) {
        const GeneratedLine line = generator.Next();
        const std::vector<std::wstring> arguments = SplitLikeWindows(line.text);
        if (line.quotedCorrectly && arguments != line.arguments) {
            ADD_FAILURE() << "line " << number << " of seed " << seed << " is not split into what was quoted: "
                          << Readable(line.text);
            ++failures;
            continue;
        }
        if (!line.quotedCorrectly && arguments != line.arguments) ++reached.splitDifferently;
        const ModelOptions want = Model(arguments);
        const std::string differences = Differences(Parse(arguments), want);
        if (!differences.empty()) {
            ADD_FAILURE() << "line " << number << " of seed " << seed << ": " << Readable(line.text) << differences;
            ++failures;
        }
        Count(arguments, reached);
    }
    std::cout << "[ reached  ] fast " << reached.fast << ", noui " << reached.noUi << ", made fast by /silent "
              << reached.silentMadeFast << ", back to normal by a later /mode " << reached.modeBackToNormal
              << ", folders kept " << reached.keptFolders << " (" << reached.keptAtTheLimit
              << " of 259 units), valid folders of 260 units refused " << reached.refusedAtTheLimit
              << ", refused after a kept one " << reached.refusedAfterKept << ", auto start " << reached.autoStart
              << ", src+uin+startargs " << reached.strings << ", damaged lines split otherwise "
              << reached.splitDifferently << ", drive questions " << reached.driveQuestions << "\n";
    if (failures > 0) return;
    // Enough of each, so that every rule above met lines that test it.
    EXPECT_GE(reached.fast, 500);
    EXPECT_GE(reached.noUi, 500);
    EXPECT_GE(reached.silentMadeFast, 50);
    EXPECT_GE(reached.modeBackToNormal, 50);
    EXPECT_GE(reached.keptFolders, 500);
    EXPECT_GE(reached.keptAtTheLimit, 10);
    EXPECT_GE(reached.refusedAtTheLimit, 10);
    EXPECT_GE(reached.refusedAfterKept, 30);
    EXPECT_GE(reached.autoStart, 500);
    EXPECT_GE(reached.strings, 50);
    EXPECT_GE(reached.splitDifferently, 500);
}

}  // namespace
