#include "CommandLine.h"

#include <charconv>
#include <optional>

#include "UsageError.h"

namespace trelwick::cli {

namespace {

void setText(std::optional<std::string>& field, const std::string& option, const std::string& value) {
    if (field) throw UsageError("option " + option + " given twice");
    // An empty text would show an empty box; hiding is done by leaving the option out.
    if (value.empty()) throw UsageError("option " + option + " needs a non-empty text");
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
    return "Usage: trelwick-cli [options] PATH...\n"
           "Stamps header and footer settings onto PowerPoint presentations.\n"
           "PATH: a presentation, or a folder walked recursively for presentations\n"
           "(.pptx .pptm .potx .potm .ppsx .ppsm; names starting with '~' or '.' are skipped).\n"
           "\n"
           "  -o, --output DIR        output folder (required); may be a source folder: files are then "
           "replaced "
           "in place\n"
           "  --date TEXT             show TEXT as the slides' date            (absent: slide date hidden)\n"
           "  --footer TEXT           show TEXT as the slides' footer          (absent: hidden)\n"
           "  --slide-number          show slide numbers                       (absent: hidden)\n"
           "  --notes-date TEXT, --notes-header TEXT, --notes-footer TEXT, --notes-page-number   the same "
           "for "
           "notes pages\n"
           "  -j, --jobs N            decks stamped in parallel (default: the number of cores)\n"
           "  --version, --help\n"
           "\n"
           "Each presentation keeps its name in the output folder. Exit status: 0 when every presentation\n"
           "was stamped, 1 when some failed, 2 on a usage error.\n";
}

}  // namespace trelwick::cli
