// Front installed as <appdir>/7zip/7z.
//
//   7z t <archive> [-spd]     test run
//   7z l <archive> [-spd]     list run
//
// on a RAR archive (first bytes "Rar!") are answered here with libarchive, in the layout the
// client reads from 7-Zip: the system's 7-Zip may be built without RAR support and would refuse
// every RAR archive as damaged. Every other command line goes unchanged to the system's 7-Zip
// (7zz, else 7z, on PATH), which replaces this process.

#include "EntryText.h"
#include "RarIndex.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <langinfo.h>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// 7-Zip's own exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFatal = 2;

// Fronts already passed through on the way here, so that two of them never hand a command line
// back and forth.
const char* const kSeenVariable = "VANTREL_7Z_FRONTS";

const char* const kSeparator = "------------------- ----- ------------ ------------  ------------------------";

void say(const std::string& line)
{
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string rightAligned(uint64_t value, size_t width)
{
    std::string text = std::to_string(value);
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string timeText(time_t when)
{
    std::tm parts {};
    char text[32] = "                   ";
    if (when > 0 && localtime_r(&when, &parts))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Which command lines are answered here

enum class Command { Test, List };

struct Request
{
    Command command = Command::Test;
    std::string archive;
};

bool startsWithRarMagic(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, sizeof magic);
    return in.gcount() == 4 && std::memcmp(magic, "Rar!", 4) == 0;
}

// Only the plain form "t|l <archive>" is ours, also with "-spd" (names are taken literally here
// anyway) and "--"; anything with other switches, several names or a list file is a job for the
// real 7-Zip.
bool parseRequest(int argc, char** argv, Request& request)
{
    if (argc < 3)
        return false;
    const std::string command = argv[1];
    if (command == "t" || command == "T")
        request.command = Command::Test;
    else if (command == "l" || command == "L")
        request.command = Command::List;
    else
        return false;
    std::vector<std::string> names;
    bool switchesEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!switchesEnded && arg == "--")
            switchesEnded = true;
        else if (!switchesEnded && (arg == "-spd" || arg == "-SPD"))
            continue;
        else if (!switchesEnded && !arg.empty() && (arg[0] == '-' || arg[0] == '@'))
            return false;
        else
            names.push_back(arg);
    }
    if (names.size() != 1 || !startsWithRarMagic(names[0]))
        return false;
    request.archive = names[0];
    return true;
}

// ---------------------------------------------------------------------------------------------
// RAR archives

bool mentionsEncryption(archive* reader)
{
    const char* message = archive_error_string(reader);
    return message && (std::strstr(message, "ncrypt") || std::strstr(message, "assword"));
}

std::string entryName(archive_entry* entry)
{
    const char* utf8 = archive_entry_pathname_utf8(entry);
    std::string name = printable(utf8 ? utf8 : archive_entry_pathname(entry));
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

bool openRar(archive* reader, const std::string& path)
{
    archive_read_support_format_rar(reader);
    archive_read_support_format_rar5(reader);
    // RAR 4 names without the Unicode flag are in the archiver's OEM code page, for this
    // program's users the Chinese one; the Rar extractor reads them the same way.
    archive_read_set_format_option(reader, "rar", "hdrcharset", "CP936");
    return archive_read_open_filename(reader, path.c_str(), 1 << 16) == ARCHIVE_OK;
}

uint64_t fileSize(const std::string& path)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

// The header walk follows archives up to this size.
constexpr uint64_t kHeaderScanLimit = 4ull * 1024 * 1024 * 1024;

struct Listed
{
    std::string name;
    bool folder = false;
    uint64_t size = 0;
    uint64_t packed = 0;
    time_t mtime = 0;
};

enum class Outcome { Ok, Encrypted, Damaged };

struct Walk
{
    Outcome outcome = Outcome::Ok;
    std::vector<std::string> errors;
    std::vector<Listed> entries;
};

// Reads every header and, when testing, every byte of data. The packed size of an entry is the
// distance from the end of its header to the start of the next one.
Walk walkRar(const std::string& path, bool readData)
{
    Walk walk;
    archive* reader = archive_read_new();
    if (!openRar(reader, path)) {
        if (mentionsEncryption(reader)) {
            walk.outcome = Outcome::Encrypted;
        } else {
            walk.outcome = Outcome::Damaged;
            walk.errors.push_back(printable(path.c_str()) + " : Can not open the file as archive");
        }
        archive_read_free(reader);
        return walk;
    }
    const std::vector<RarIndexEntry> index = readRarIndex(path);
    int64_t dataStart = -1;
    for (size_t number = 0;; ++number) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(reader, &entry);
        const int64_t headerAt = archive_read_header_position(reader);
        if (!walk.entries.empty() && dataStart >= 0 && !walk.entries.back().folder && headerAt >= dataStart)
            walk.entries.back().packed = static_cast<uint64_t>(headerAt - dataStart);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK) {
            if (mentionsEncryption(reader)) {
                walk.outcome = Outcome::Encrypted;
            } else {
                walk.outcome = Outcome::Damaged;
                walk.errors.push_back(printable(archive_error_string(reader)));
            }
            break;
        }
        dataStart = archive_filter_bytes(reader, -1);
        Listed listed;
        listed.name = entryName(entry);
        listed.folder = archive_entry_filetype(entry) == AE_IFDIR;
        listed.size = listed.folder ? 0 : static_cast<uint64_t>(archive_entry_size(entry));
        listed.mtime = archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : 0;
        walk.entries.push_back(listed);
        // A listing shows encrypted entries; only their data needs the password.
        if (readData && archive_entry_is_encrypted(entry)) {
            walk.outcome = Outcome::Encrypted;
            break;
        }
        if (!readData || listed.folder)
            continue;

        uint32_t crc = 0;
        uint64_t read = 0;
        bool dataOk = true;
        for (;;) {
            const void* buffer = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int d = archive_read_data_block(reader, &buffer, &size, &offset);
            if (d == ARCHIVE_EOF)
                break;
            if (d != ARCHIVE_OK) {
                dataOk = false;
                if (mentionsEncryption(reader)) {
                    walk.outcome = Outcome::Encrypted;
                } else {
                    walk.outcome = Outcome::Damaged;
                    walk.errors.push_back("Data Error : " + listed.name + " : "
                                          + printable(archive_error_string(reader)));
                }
                break;
            }
            crc = crc32Update(crc, buffer, size);
            read += size;
        }
        if (!dataOk)
            break;
        // libarchive leaves stored entries unchecked. A size that differs means the header walk
        // and the library disagree on entries: then nothing is compared.
        const RarIndexEntry* expected = number < index.size() ? &index[number] : nullptr;
        if (expected && expected->hasCrc && expected->size == read && expected->crc != crc) {
            walk.outcome = Outcome::Damaged;
            walk.errors.push_back("CRC Failed : " + listed.name);
            break;
        }
        walk.entries.back().size = read;
    }
    archive_read_free(reader);
    // libarchive ends quietly where the headers stop, so an archive cut off between two entries
    // (or "Rar!" followed by anything) would read as complete. The header walk only succeeds on
    // reaching the end-of-archive block; it gives up on archives beyond what it scans.
    if (walk.outcome == Outcome::Ok && walk.entries.empty()) {
        walk.outcome = Outcome::Damaged;
        walk.errors.push_back(printable(path.c_str()) + " : Can not open the file as archive");
    } else if (walk.outcome == Outcome::Ok && index.empty() && fileSize(path) < kHeaderScanLimit) {
        walk.outcome = Outcome::Damaged;
        walk.errors.push_back("Unexpected end of archive");
    }
    return walk;
}

void sayArchiveHeading(const char* verb, const std::string& path)
{
    const uint64_t size = fileSize(path);
    say("");
    say("Scanning the drive for archives:");
    say("1 file, " + std::to_string(size) + " bytes (" + std::to_string((size + 1023) / 1024) + " KiB)");
    say("");
    say(std::string(verb) + " archive: " + printable(path.c_str()));
}

void sayArchiveProperties(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[8] = {};
    in.read(magic, sizeof magic);
    const bool rar5 = in.gcount() == 8 && magic[6] == '\x01';
    say("--");
    say("Path = " + printable(path.c_str()));
    say(std::string("Type = ") + (rar5 ? "Rar5" : "Rar"));
    say("Physical Size = " + std::to_string(fileSize(path)));
}

void sayPasswordPrompt()
{
    // 7-Zip asks here; nothing is read from standard input, the run just fails.
    std::fputs("Enter password (will not be echoed):\n", stdout);
}

void sayErrors(const Walk& walk)
{
    say("");
    for (const std::string& error : walk.errors)
        say("ERROR: " + error);
    say("");
    say("Archives with Errors: 1");
}

// An encrypted or damaged archive: says so as 7-Zip would and tells the caller to stop.
bool refused(const Walk& walk)
{
    if (walk.outcome == Outcome::Encrypted) {
        sayPasswordPrompt();
        return true;
    }
    if (walk.outcome == Outcome::Damaged) {
        sayErrors(walk);
        return true;
    }
    return false;
}

int testRar(const std::string& path)
{
    sayArchiveHeading("Testing", path);
    const Walk walk = walkRar(path, true);
    if (refused(walk))
        return kExitFatal;
    sayArchiveProperties(path);
    uint64_t folders = 0, files = 0, size = 0;
    for (const Listed& e : walk.entries) {
        if (e.folder) {
            ++folders;
        } else {
            ++files;
            size += e.size;
        }
    }
    say("");
    say("Everything is Ok");
    say("");
    say("Folders: " + std::to_string(folders));
    say("Files: " + std::to_string(files));
    say("Size:       " + std::to_string(size));
    say("Compressed: " + std::to_string(fileSize(path)));
    return kExitOk;
}

int listRar(const std::string& path)
{
    sayArchiveHeading("Listing", path);
    say("");
    const Walk walk = walkRar(path, false);
    if (refused(walk))
        return kExitFatal;
    sayArchiveProperties(path);
    say("");
    say("   Date      Time    Attr         Size   Compressed  Name");
    say(kSeparator);
    uint64_t folders = 0, files = 0, size = 0, packed = 0;
    time_t newest = 0;
    for (const Listed& e : walk.entries) {
        say(timeText(e.mtime) + " " + (e.folder ? "D...." : "....A") + " " + rightAligned(e.size, 12) + " "
            + rightAligned(e.packed, 12) + "  " + e.name);
        (e.folder ? folders : files) += 1;
        size += e.size;
        packed += e.packed;
        if (e.mtime > newest)
            newest = e.mtime;
    }
    say(kSeparator);
    std::string counts = std::to_string(files) + " files";
    if (folders > 0)
        counts += ", " + std::to_string(folders) + " folders";
    say(timeText(newest) + "       " + rightAligned(size, 12) + " " + rightAligned(packed, 12) + "  " + counts);
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------
// Everything else: the system's 7-Zip

std::string canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return ec ? std::string() : resolved.string();
}

std::vector<std::string> split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(by, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

// The first 7zz on PATH, else the first 7z, that is neither this program nor another front.
std::string systemSevenZip(const std::vector<std::string>& fronts)
{
    const char* pathVariable = std::getenv("PATH");
    const std::vector<std::string> dirs = split(pathVariable ? pathVariable : "", ':');
    for (const char* name : { "7zz", "7z" }) {
        for (const std::string& dir : dirs) {
            // An empty PATH element means the current folder.
            const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
            std::error_code ec;
            if (!fs::is_regular_file(candidate, ec) || access(candidate.c_str(), X_OK) != 0)
                continue;
            const std::string real = canonical(candidate);
            bool isFront = real.empty();
            for (const std::string& front : fronts)
                isFront = isFront || front == real;
            if (!isFront)
                return candidate;
        }
    }
    return std::string();
}

int passThrough(char** argv)
{
    std::vector<std::string> fronts;
    if (const char* seen = std::getenv(kSeenVariable)) {
        for (const std::string& front : split(seen, ':')) {
            if (!front.empty())
                fronts.push_back(front);
        }
    }
    const std::string self = canonical("/proc/self/exe");
    if (!self.empty())
        fronts.push_back(self);
    const std::string program = systemSevenZip(fronts);
    if (program.empty()) {
        std::fputs("7z: no 7-Zip program (7zz or 7z) found on PATH\n", stderr);
        return kExitFatal;
    }
    std::string seen;
    for (const std::string& front : fronts)
        seen += (seen.empty() ? "" : ":") + front;
    setenv(kSeenVariable, seen.c_str(), 1);
    execv(program.c_str(), argv);
    std::fprintf(stderr, "7z: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    return kExitFatal;
}

} // namespace

int main(int argc, char** argv)
{
    Request request;
    if (!parseRequest(argc, argv, request))
        return passThrough(argv);
    // Entry names are UTF-8 (RAR 5) or converted to the locale; a plain "C" locale would turn
    // every non-ASCII name into an error.
    if (!std::setlocale(LC_ALL, "") || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    const int rc = request.command == Command::Test ? testRar(request.archive) : listRar(request.archive);
    std::fflush(stdout);
    return rc;
}
