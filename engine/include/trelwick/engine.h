#pragma once

// The presentation engine: opens a .pptx-family or legacy .ppt deck, reads and stamps header/footer
// elements the way PowerPoint's "Apply to All" does, and saves it atomically. No Qt; no global state
// but the time zone keepLocalTimeZone and the heap keepFreedMemory keep when a program asks; one
// Presentation per thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trelwick::engine {

enum class ErrorCode {
    FileNotFound = 1,   // no such file, or it is a folder
    NotAPresentation,   // neither a zip package nor an OLE file, or no presentation part inside
    PasswordProtected,  // OLE compound file holding an EncryptedPackage
    LegacyFormat,       // PowerPoint 95 or older, or a dual-format (95 and 97-2003) .ppt
    DamagedPackage,     // broken zip, missing or looping parts, relationships leaving the package
    DamagedXml,         // malformed XML, a DOCTYPE, a NUL, an encoding other than UTF-8/16, or the
                        // namespaces of shapes bound again below the root
    LimitExceeded,      // a part or all of a deck's XML too large, nesting too deep, more than 10,000
                        // slides, or compressed suspiciously well (zip bomb)
    ReadFailed,         // I/O error while reading, or the file changed while it was being read
    WriteFailed,        // I/O error while writing; nothing was left at the target
};

// A failure of the engine: what() is one sentence naming the file (and the part at fault, if any):
// "<file> (part <part>): <what went wrong>".
class Error : public std::runtime_error {
  public:
    Error(ErrorCode code, std::string file, std::string part, const std::string& what);
    ErrorCode code() const noexcept { return code_; }
    int number() const noexcept { return static_cast<int>(code_); }
    const std::string& file() const noexcept { return file_; }
    const std::string& part() const noexcept { return part_; }  // empty when the whole file is at fault
    // The sentence without the file, for a caller that names it its own way: "part <part>: <what>".
    const std::string& reason() const noexcept { return reason_; }

  private:
    ErrorCode code_;
    std::string file_;
    std::string part_;
    std::string reason_;
};

enum class MasterKind { Slide, Notes, Handout };  // Slide = every slide master of the deck
enum class Element { DateAndTime, Footer, Header, SlideNumber };

// The state of one header/footer element. format is a date format 1..13 (PowerPoint's
// ppDateTimeMdyy..ppDateTimehmmssAMPM), used only when useFormat is true.
struct HeaderFooter {
    std::string text;
    bool visible = false;
    bool useFormat = false;
    int format = 1;
};

struct SaveOutcome {
    bool signatureInvalidated = false;  // the deck was digitally signed; the signature no longer holds
                                        // (then the first warning says so)
    // One sentence each, not naming the file (the caller does), the part first where one is at fault:
    // "part ppt/slideMasters/slideMaster1.xml: ...".
    std::vector<std::string> warnings;
};

class AtomicFile;

// Whether a save syncs its folder itself, or leaves that to a caller saving many decks into one folder,
// which then calls syncFolder before it tells anyone they are saved: until then a crash may lose a new
// name (the deck is then missing, or the old one is still there), never leave a damaged file.
enum class FolderSync { Now, Later };
// Syncs the names in folder to disk; at best effort: a folder that cannot be opened or synced is left
// as it is (the decks themselves were synced before they were named, so a crash may lose a name only).
// A folder that may be written to but not listed is synced with the rest of its file system.
void syncFolder(const std::filesystem::path& folder);
// Whether the folder's file system keeps apart names that differ only in case (Linux's usually do;
// Windows', macOS' and most shares and removable disks do not), asked with a probe file of its own,
// which is removed again. A folder that cannot be asked (it cannot be written to) is taken not to:
// then no save is let replace another's under a name differing in case.
bool keepsCaseApart(const std::filesystem::path& folder);
// A file name as a file system that ignores case compares it: every letter in upper case, beyond ASCII
// too (é as É, σ and ς as Σ), as the upcase tables of exFAT and NTFS do, as far as the C library's
// Unicode tables go. Bytes that are not UTF-8 are kept.
std::string foldedCase(std::string_view name);

class Presentation;

// A stamped deck written in full to a temporary file beside its target, not yet in place; or, from
// Presentation::deferSave, a stamped deck still to be written. A batch can stamp its next deck while
// this one is written or reaches the disk. Destroyed uncommitted, it leaves nothing.
class PendingSave {
  public:
    PendingSave(PendingSave&&) noexcept;
    PendingSave& operator=(PendingSave&&) noexcept;
    ~PendingSave();

    // Writes a deferred deck to its temporary file, and lets the deck go; does nothing once written.
    // Throws Error as prepareSave does, leaving nothing; the save is then spent.
    void write();
    bool written() const { return file_ != nullptr; }

    // Writes the deck if it is not yet written, syncs the file, moves it over the target and syncs
    // the folder (unless Later); once only. Throws Error, leaving the target as it was.
    SaveOutcome commit(FolderSync folder = FolderSync::Now);

    // What commitAll made of one save: its outcome, or the Error WriteFailed that stopped it.
    struct Committed {
        SaveOutcome outcome;
        std::exception_ptr failure;
    };
    // Commits several saves as commit() does each, but with one wait on the disk for all of them
    // rather than two per file: every file is synced before it replaces anything, and the folders
    // are synced before this returns (unless Later). One result per save, in order; one failure
    // stops no other.
    static std::vector<Committed> commitAll(const std::vector<PendingSave*>& saves,
                                            FolderSync folder = FolderSync::Now);
    const std::filesystem::path& target() const { return target_; }
    // What commit will report (known once the deck is stamped); empty once committed.
    const SaveOutcome& outcome() const { return outcome_; }

  private:
    friend class Presentation;
    PendingSave(std::unique_ptr<AtomicFile> file, std::unique_ptr<Presentation> deck,
                std::filesystem::path target, SaveOutcome outcome);
    std::unique_ptr<AtomicFile> file_;
    std::unique_ptr<Presentation> deck_;  // stamped, to be written; none once written
    std::filesystem::path target_;
    SaveOutcome outcome_;
};

// Guards against hostile files, and how a file is read; the defaults suit every real deck seen.
struct Limits {
    std::uint64_t maxXmlPartBytes = 64ull << 20;  // uncompressed size of one XML part
    // Uncompressed size of all the XML parts a stamp reads from one deck (the largest real deck seen
    // holds 7 MB): each stays parsed until the deck is saved, and its tree takes two to ten times its
    // size, so parts just under the limit above would otherwise add up to gigabytes.
    std::uint64_t maxXmlBytesPerDeck = 128ull << 20;
    std::uint64_t maxCompressionRatio = 400;  // uncompressed / compressed, checked past 1 MiB
    std::uint64_t maxEntries = 100000;        // zip entries
    // Slides of a .pptx-family deck. Each stays parsed until the deck is saved, with its notes page and
    // their relationships, and a parsed part takes tens of KB however small: 20,000 tiny slides (a 5 MB
    // file) took 0.9 GB. Real decks stay far below.
    std::uint64_t maxSlides = 10000;
    // Files smaller than this are read whole when opened: a few system calls instead of several for
    // each part. Larger ones are read part by part and their unchanged entries copied by the kernel.
    std::uint64_t readWholeBelow = 256 * 1024;
};

// Whether text is well-formed UTF-8, as setText requires: no truncated or overlong sequence, no
// surrogate, nothing past U+10FFFF.
bool isUtf8(std::string_view text);

// For programs to call once at start-up, before starting threads: has the C library keep the local
// time zone it reads first. libzip converts every entry's time with mktime, which otherwise reads the
// zone file again each time (a score of system calls a deck). Does nothing when TZ is already set.
void keepLocalTimeZone();
// For programs to call once at start-up, before starting threads: has the C library's heap keep what
// a deck frees (up to 64 MB) for the next part and the next deck, and serve blocks up to 32 MB itself,
// rather than hand the memory back to the system and take it again, each page faulted in anew (on a
// virtual machine that was 40% of the time of stamping a deck of large slides). Each thread that then
// opens a deck first gets 24 MB of heap advised to be backed by huge pages (Linux): one fault for
// 2 MB instead of 512, for at most that much more resident memory. Does nothing outside glibc.
void keepFreedMemory();
// For a program that stays open after a batch (the window): gives back to the system what
// keepFreedMemory kept. Does nothing outside glibc.
void giveBackFreedMemory();
// For programs to call once at start-up, before starting threads: gives the threads that open, stamp
// and save decks the stack that walking XML nested as deep as decks may be (1,000 levels) takes,
// 8 MB, also when the program was started with less (`ulimit -s 256`, where such a deck ended the
// whole batch). The main thread gets it as far as the hard limit allows. Does nothing where the
// stack is that large already.
void keepStackForDecks();

class Presentation {
  public:
    // Opens a deck; the format is decided from the content, not the extension. Throws Error.
    static Presentation open(const std::filesystem::path& file, const Limits& limits = {});
    // Opens a deck held in memory (name is used in messages). Throws Error.
    static Presentation openBytes(std::string bytes, const std::string& name, const Limits& limits = {});

    Presentation(Presentation&&) noexcept;
    Presentation& operator=(Presentation&&) noexcept;
    ~Presentation();

    // Parses ahead what the setters and the save will read, so that this can be done first on
    // another thread (a Presentation may move between threads, never be used by two at once). What
    // cannot be read is reported by the call that needs it, as without this.
    void preload();
    // Reads now every part the setters and the save cannot do without, and throws the first Error
    // they would meet: a damaged deck is then refused once, as if it could not be opened, instead of
    // by each call in turn. A deck that passes may still fail later on parts read only then.
    void load();
    // True while the file the deck was opened from is the version it read: not replaced, rewritten
    // or touched since, as far as its file number, size and times tell (a rewrite to the same size
    // within one tick of the file system's clock goes unseen). False for a deck opened from memory,
    // or where versions cannot be told apart.
    bool sourceUnchanged() const;

    // True when a legacy .ppt has a title master (it shares the slide master's settings); never for .pptx.
    bool hasTitleMaster() const noexcept;
    std::size_t slideCount() const;
    std::size_t slideMasterCount() const;
    bool hasNotesMaster() const;  // as saved: true also once a visible notes element will create one
    bool hasHandoutMaster() const;
    bool isSigned() const;  // the package carries digital signatures

    // True when the kind has that element: Slide has DateAndTime, Footer, SlideNumber; Notes and
    // Handout have all four.
    static bool hasElement(MasterKind kind, Element element) noexcept;
    // Current state: as set, else as read from the deck (first page carrying it, else the master).
    // Throws std::invalid_argument when !hasElement(kind, element).
    HeaderFooter element(MasterKind kind, Element element) const;

    // Setters record what saveAs applies; only elements set at least once are stamped. The fields of an
    // element a caller leaves unset keep the deck's state, read when element() or the save needs them
    // (so those may throw Error for a damaged deck); a caller that sets every field a stamp uses (a
    // number's visibility, another element's text and visibility, a date's kind and format) has
    // nothing read. For an element only
    // shown or hidden (no setText, setUseFormat or setFormat), masters and layouts keep their own text and
    // date kind, as do the pages of a .ppt deck that have settings of their own; the other pages that
    // show it take the state element() read.
    // Each throws std::invalid_argument when !hasElement(kind, element); setText also for text that is
    // not well-formed UTF-8 (see isUtf8), setFormat for format outside 1..13. A line end (CR, LF,
    // CR LF, vertical tab) is stamped as a space in a .pptx-family deck and as a line break in a .ppt;
    // other controls but tab, U+FFFE and U+FFFF are left out of what is stamped.
    void setText(MasterKind kind, Element element, std::string_view text);
    void setVisible(MasterKind kind, Element element, bool visible);
    void setUseFormat(MasterKind kind, Element element, bool useFormat);
    void setFormat(MasterKind kind, Element element, int format);

    // The moment automatic date fields show as cached text (default: the system clock at save).
    void setNow(std::chrono::system_clock::time_point now);

    // Stamps what was set and writes the deck in its own format to target (a temporary file in the
    // target folder, synced, then renamed; a replaced file keeps its permissions). May be called again
    // after further setters. Throws Error; on failure nothing is left at target and the source is
    // unchanged.
    SaveOutcome saveAs(const std::filesystem::path& target, FolderSync folder = FolderSync::Now);
    // The first half of saveAs: stamps and writes the temporary file, and checks it, without
    // putting it in place; saveAs(target, f) is prepareSave(target).commit(f). Throws Error.
    PendingSave prepareSave(const std::filesystem::path& target);
    // As prepareSave, but the deck is written when the save is (PendingSave::write or commit), on the
    // thread that does it: a batch stamps its next deck on one thread while another writes this one.
    // Takes the deck; only the stamp may throw here.
    PendingSave deferSave(const std::filesystem::path& target) &&;

  private:
    friend class PendingSave;
    SaveOutcome stampForSave();
    std::unique_ptr<AtomicFile> writeStamped(const std::filesystem::path& target);

    struct Impl;
    explicit Presentation(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace trelwick::engine
