#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "UsageError.h"
#include "trelwick/engine.h"

namespace trelwick::cli {

namespace {

void setText(std::optional<std::string>& field, const std::string& option, const std::string& value) {
    if (field) throw UsageError("option " + option + " given twice");
    // An empty text would show an empty box; hiding is done by leaving the option out. Control
    // characters are dropped from what is shown, so a text of nothing else counts as empty.
    const bool nothingShown = std::all_of(
        value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    if (nothingShown) throw UsageError("option " + option + " needs a non-empty text");
    // Caught here, before any deck is opened: the stamp takes UTF-8 only.
    if (!engine::isUtf8(value))
        throw UsageError("the text of option " + option +
                         " is not valid UTF-8 (is the terminal set to another character set?)");
    field = value;
}

void setFlag(bool& field, const std::string& option) {
    if (field) throw UsageError("option " + option + " given twice");
    field = true;
}

unsigned parseJobs(const std::string& value) {
    unsigned jobs = 0;
    const char* end = value.data() + value.size();
    auto [ptr, ec] = std::from_chars(value.data(), end, jobs);
    if (value.empty() || ec != std::errc() || ptr != end || jobs < 1 || jobs > CommandLine::kMaxJobs)
        throw UsageError("--jobs needs a whole number from 1 to " + std::to_string(CommandLine::kMaxJobs) +
                         ", not '" + value + "'");
    return jobs;
}

// What parsing has seen of the options that may come once but set no optional field.
struct Seen {
    bool output = false;
    bool jobs = false;
};

// Every option once: its spelling, its short letter (0: none), whether it takes a value, and what it
// sets. Parsing, the help's completeness and the manual page's are all checked against this list.
struct Option {
    const char* name;
    char letter;
    bool takesValue;
    void (*apply)(CliOptions& options, Seen& seen, const std::string& name, const std::string& value);
};

const Option kOptions[] = {
    {"--output", 'o', true,
     [](CliOptions& o, Seen& seen, const std::string&, const std::string& value) {
         if (seen.output) throw UsageError("option --output given twice");
         if (value.empty()) throw UsageError("option --output needs a folder");
         o.output = value;
         seen.output = true;
     }},
    {"--jobs", 'j', true,
     [](CliOptions& o, Seen& seen, const std::string&, const std::string& value) {
         if (seen.jobs) throw UsageError("option --jobs given twice");
         o.jobs = parseJobs(value);
         seen.jobs = true;
     }},
    {"--date", 0, true,
     [](CliOptions& o, Seen&, const std::string& name, const std::string& value) {
         setText(o.stamp.date, name, value);
     }},
    {"--footer", 0, true,
     [](CliOptions& o, Seen&, const std::string& name, const std::string& value) {
         setText(o.stamp.footer, name, value);
     }},
    {"--slide-number", 0, false,
     [](CliOptions& o, Seen&, const std::string& name, const std::string&) {
         setFlag(o.stamp.slideNumber, name);
     }},
    {"--notes-date", 0, true,
     [](CliOptions& o, Seen&, const std::string& name, const std::string& value) {
         setText(o.stamp.notesDate, name, value);
     }},
    {"--notes-header", 0, true,
     [](CliOptions& o, Seen&, const std::string& name, const std::string& value) {
         setText(o.stamp.notesHeader, name, value);
     }},
    {"--notes-footer", 0, true,
     [](CliOptions& o, Seen&, const std::string& name, const std::string& value) {
         setText(o.stamp.notesFooter, name, value);
     }},
    {"--notes-page-number", 0, false,
     [](CliOptions& o, Seen&, const std::string& name, const std::string&) {
         setFlag(o.stamp.notesPageNumber, name);
     }},
    {"--help", 0, false,
     [](CliOptions& o, Seen&, const std::string&, const std::string&) { o.showHelp = true; }},
    {"--version", 0, false,
     [](CliOptions& o, Seen&, const std::string&, const std::string&) { o.showVersion = true; }},
};

const Option* optionNamed(const std::string& name) {
    for (const Option& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

}  // namespace

std::vector<std::string> CommandLine::optionNames() {
    std::vector<std::string> names;
    for (const Option& o : kOptions) {
        names.emplace_back(o.name);
        if (o.letter) names.push_back(std::string("-") + o.letter);
    }
    return names;
}

CliOptions CommandLine::parse(const std::vector<std::string>& args) {
    CliOptions options;
    Seen seen;
    bool onlyPaths = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPaths || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg.empty()) throw UsageError("empty PATH");
            if (arg == "-") throw UsageError("reading a presentation from standard input is not supported");
            options.inputs.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPaths = true;
            continue;
        }
        const Option* option = nullptr;
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            option = optionNamed(arg.substr(0, eq));
            if (eq != std::string::npos) inlineValue = arg.substr(eq + 1);
        } else {
            // Short options: -o DIR, -oDIR, -j N, -jN.
            for (const Option& o : kOptions)
                if (o.letter == arg[1]) option = &o;
            if (option && arg.size() > 2) inlineValue = arg.substr(2);
        }
        if (!option) throw UsageError("unknown option " + arg);
        if (!option->takesValue) {
            if (inlineValue) throw UsageError(std::string("option ") + option->name + " takes no value");
        } else if (!inlineValue) {
            if (i + 1 >= args.size())
                throw UsageError(std::string("option ") + option->name + " needs a value");
            inlineValue = args[++i];
        }
        option->apply(options, seen, option->name, inlineValue.value_or(std::string()));
    }

    if (options.showHelp || options.showVersion) return options;
    if (!seen.output) throw UsageError("no output folder given (-o DIR)");
    if (options.inputs.empty()) throw UsageError("no presentation or folder given");
    return options;
}

std::string CommandLine::usage() {
    return "Usage: trelwick-cli -o DIR [OPTION]... PATH...\n"
           "Stamp header and footer settings onto PowerPoint presentations.\n"
           "\n"
           "Each PATH is a presentation or a folder searched recursively for presentations\n"
           "(.pptx .pptm .potx .potm .ppsx .ppsm .ppt .pot .pps); the search skips names\n"
           "starting with '~' or '.' (lock and hidden files), but a presentation given as a\n"
           "PATH is stamped whatever its name. Each keeps its file name in the output\n"
           "folder.\n"
           "\n"
           "Output:\n"
           "  -o, --output DIR         write the stamped presentations to DIR (required;\n"
           "                           created when missing; when it is a source folder,\n"
           "                           its presentations are replaced in place; decks\n"
           "                           found in subfolders are saved into DIR itself)\n"
           "  -j, --jobs N             stamp N presentations at once, 1 to " +
           std::to_string(kMaxJobs) +
           "\n"
           "                           (default: one per core)\n"
           "\n"
           "Slides (an element left out is hidden):\n"
           "      --date TEXT          show TEXT as the date\n"
           "      --footer TEXT        show TEXT as the footer\n"
           "      --slide-number       show the slide number\n"
           "\n"
           "Notes pages and handouts (an element left out is hidden):\n"
           "      --notes-date TEXT    show TEXT as the date\n"
           "      --notes-header TEXT  show TEXT as the header\n"
           "      --notes-footer TEXT  show TEXT as the footer\n"
           "      --notes-page-number  show the page number\n"
           "\n"
           "      --help               display this help and exit\n"
           "      --version            output version information and exit\n"
           "\n"
           "A value may also follow its option after '=' (--footer=TEXT) or, for -o and -j,\n"
           "directly (-oDIR). '--' ends the options: every later argument is a PATH.\n"
           "\n"
           "Exit status:\n"
           "  0  every presentation was stamped (or none was found)\n"
           "  1  some presentations failed, a folder could not be read, or the output\n"
           "     folder could not be created; stderr names each with the reason\n"
           "  2  usage error\n"
           "\n"
           "Example:\n"
           "  trelwick-cli -o stamped --footer \"Acme Ltd.\" --slide-number decks/ q3.pptx\n"
           "\n"
           "See trelwick-cli(1) for more.\n";
}

}  // namespace trelwick::cli
