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
    const bool nothingShown = std::all_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
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

bool takesValue(const std::string& name) {
    return name == "--output" || name == "--date" || name == "--footer" || name == "--notes-date" ||
           name == "--notes-header" || name == "--notes-footer" || name == "--jobs";
}

bool isFlag(const std::string& name) {
    return name == "--slide-number" || name == "--notes-page-number" || name == "--help" ||
           name == "--version";
}

}  // namespace

CliOptions CommandLine::parse(const std::vector<std::string>& args) {
    CliOptions options;
    bool outputSeen = false;
    bool jobsSeen = false;
    bool onlyPaths = false;

    auto apply = [&](const std::string& name, const std::string& value) {
        if (name == "--output") {
            if (outputSeen) throw UsageError("option --output given twice");
            if (value.empty()) throw UsageError("option --output needs a folder");
            options.output = value;
            outputSeen = true;
        } else if (name == "--date") {
            setText(options.stamp.date, name, value);
        } else if (name == "--footer") {
            setText(options.stamp.footer, name, value);
        } else if (name == "--notes-date") {
            setText(options.stamp.notesDate, name, value);
        } else if (name == "--notes-header") {
            setText(options.stamp.notesHeader, name, value);
        } else if (name == "--notes-footer") {
            setText(options.stamp.notesFooter, name, value);
        } else if (name == "--jobs") {
            if (jobsSeen) throw UsageError("option --jobs given twice");
            options.jobs = parseJobs(value);
            jobsSeen = true;
        } else if (name == "--slide-number") {
            setFlag(options.stamp.slideNumber, name);
        } else if (name == "--notes-page-number") {
            setFlag(options.stamp.notesPageNumber, name);
        } else if (name == "--help") {
            options.showHelp = true;
        } else if (name == "--version") {
            options.showVersion = true;
        }
    };

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
        std::string name;
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            name = arg.substr(0, eq);
            if (eq != std::string::npos) inlineValue = arg.substr(eq + 1);
        } else {
            // Short options: -o DIR, -oDIR, -j N, -jN.
            const char letter = arg[1];
            if (letter == 'o')
                name = "--output";
            else if (letter == 'j')
                name = "--jobs";
            else
                throw UsageError("unknown option " + arg);
            if (arg.size() > 2) inlineValue = arg.substr(2);
        }
        if (isFlag(name)) {
            if (inlineValue) throw UsageError("option " + name + " takes no value");
            apply(name, {});
        } else if (takesValue(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
                inlineValue = args[++i];
            }
            apply(name, *inlineValue);
        } else {
            throw UsageError("unknown option " + arg);
        }
    }

    if (options.showHelp || options.showVersion) return options;
    if (!outputSeen) throw UsageError("no output folder given (-o DIR)");
    if (options.inputs.empty()) throw UsageError("no presentation or folder given");
    return options;
}

std::string CommandLine::usage() {
    return "Usage: trelwick-cli -o DIR [OPTION]... PATH...\n"
           "Stamp header and footer settings onto PowerPoint presentations.\n"
           "\n"
           "Each PATH is a presentation or a folder searched recursively for presentations\n"
           "(.pptx .pptm .potx .potm .ppsx .ppsm .ppt .pot .pps); names starting with '~' or\n"
           "'.' (lock and hidden files) are skipped. Each keeps its file name in the output\n"
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
           "  1  some presentations failed, or a folder could not be read; stderr names\n"
           "     each with the reason\n"
           "  2  usage error\n"
           "\n"
           "Example:\n"
           "  trelwick-cli -o stamped --footer \"Acme Ltd.\" --slide-number decks/ q3.pptx\n"
           "\n"
           "See trelwick-cli(1) for more.\n";
}

}  // namespace trelwick::cli
