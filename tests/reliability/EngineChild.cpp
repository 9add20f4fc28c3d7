#include "EngineChild.h"

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "trelwick/engine.h"

namespace trelwick::reliability {
namespace {

using engine::Element;
using engine::MasterKind;

void writeAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// The child's report: "OK", or "<code>\n<message>", or "EXC\n<what>" for a foreign exception.
std::string stampReport(const std::filesystem::path& source, const std::filesystem::path& outputFolder) {
    try {
        auto deck = engine::Presentation::open(source);
        for (Element e : {Element::DateAndTime, Element::Footer, Element::SlideNumber}) {
            deck.setText(MasterKind::Slide, e, "Reliability");
            deck.setVisible(MasterKind::Slide, e, true);
        }
        for (Element e : {Element::DateAndTime, Element::Footer, Element::Header, Element::SlideNumber})
            deck.setVisible(MasterKind::Notes, e, true);
        deck.saveAs(outputFolder / source.filename());
        return "OK";
    } catch (const engine::Error& e) {
        return std::to_string(e.number()) + "\n" + e.what();
    } catch (const std::exception& e) {
        return std::string("EXC\n") + e.what();
    }
}

}  // namespace

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

ChildOutcome stampInChild(const std::filesystem::path& source, const std::filesystem::path& outputFolder,
                          std::optional<uid_t> runAs) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {false, false, 0, "pipe failed", 0};
    const long baseline = residentKb();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (runAs && (::setgroups(0, nullptr) != 0 || ::setgid(*runAs) != 0 || ::setuid(*runAs) != 0)) {
            writeAll(pipeFds[1], "EXC\ncannot change user");
            ::_exit(0);
        }
        writeAll(pipeFds[1], stampReport(source, outputFolder));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);

    ChildOutcome outcome;
    outcome.peakRssDeltaKb = usage.ru_maxrss - baseline;
    outcome.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!outcome.finished) {
        outcome.message = WIFSIGNALED(status)
                              ? std::string("killed by signal ") + ::strsignal(WTERMSIG(status))
                              : "exited with status " + std::to_string(WEXITSTATUS(status));
        return outcome;
    }
    const auto newline = report.find('\n');
    const std::string head = report.substr(0, newline);
    if (head == "OK") {
        outcome.stamped = true;
    } else if (head == "EXC") {
        outcome.message = "foreign exception: " + report.substr(newline + 1);
    } else {
        outcome.errorCode = std::atoi(head.c_str());
        outcome.message = newline == std::string::npos ? std::string() : report.substr(newline + 1);
    }
    return outcome;
}

}  // namespace trelwick::reliability
