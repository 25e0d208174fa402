// Console RAR extractor used by the client to unpack RAR archives before repacking them as zip.
//
//   Rar X -Y <archive> -AD <folder>
//
// extracts <archive> into <folder>/<archive name without extension>/. Progress goes to standard
// output one line per entry; only a complete, clean extraction ends the output with "全部完成\r\n".

#include "EntryText.h"
#include "RarIndex.h"

#include <archive.h>
#include <archive_entry.h>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <langinfo.h>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitFatal = 2,
    ExitDamaged = 3,
    ExitUsage = 7,
    ExitCreate = 9,
    ExitNoFiles = 10,
    ExitPassword = 11,
};

void say(const std::string& line)
{
    std::string out = line + "\r\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// The client may hand over Windows-style paths; take the text as given when it names something,
// otherwise read its backslashes as separators.
std::string localPath(const std::string& given)
{
    std::error_code ec;
    if (fs::exists(given, ec))
        return given;
    std::string converted = given;
    for (char& c : converted) {
        if (c == '\\')
            c = '/';
    }
    return converted;
}

struct Options
{
    std::string archive;
    std::string destination;
    bool appendName = false;
};

bool parseArguments(int argc, char** argv, Options& options, std::string& problem)
{
    if (argc < 2) {
        problem = "用法: Rar X -Y <压缩包> -AD <目标文件夹>";
        return false;
    }
    if (lower(argv[1]) != "x") {
        problem = std::string("不支持的命令: ") + printable(argv[1]);
        return false;
    }
    std::vector<std::string> names;
    bool switchesEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (!switchesEnded && arg == "--") {
            switchesEnded = true;
        } else if (!switchesEnded && arg.size() > 1 && arg[0] == '-') {
            std::string sw = lower(arg);
            if (sw == "-ad") {
                options.appendName = true;
            } else if (sw != "-y") {
                problem = "未知的开关: " + printable(arg.c_str());
                return false;
            }
        } else {
            names.push_back(arg);
        }
    }
    if (names.empty() || names.size() > 2 || names[0].empty()) {
        problem = "需要一个压缩包和一个目标文件夹";
        return false;
    }
    options.archive = localPath(names[0]);
    options.destination = names.size() == 2 ? localPath(names[1]) : std::string(".");
    return true;
}

// Before a format is recognised libarchive cannot be asked about encrypted entries; only the
// message tells then.
bool looksEncrypted(archive* reader, bool opened = true)
{
    const char* message = archive_error_string(reader);
    return (opened && archive_read_has_encrypted_entries(reader) > 0)
        || (message
            && (std::string(message).find("ncrypt") != std::string::npos
                || std::string(message).find("assword") != std::string::npos));
}

int extract(const Options& options)
{
    std::error_code ec;
    if (!fs::is_regular_file(options.archive, ec)) {
        say("错误: 无法打开 " + printable(options.archive.c_str()));
        return ExitFatal;
    }
    fs::path archivePath = fs::absolute(options.archive, ec);
    fs::path target = options.destination;
    if (options.appendName) {
        // A file called "..." would otherwise name the parent folder.
        fs::path stem = archivePath.stem();
        target /= (stem.empty() || stem == "." || stem == "..") ? fs::path("_") : stem;
    }
    fs::create_directories(target, ec);
    if (ec || !fs::is_directory(target, ec)) {
        say("错误: 无法创建文件夹 " + printable(target.string().c_str()));
        return ExitCreate;
    }

    archive* reader = archive_read_new();
    archive_read_support_format_rar(reader);
    archive_read_support_format_rar5(reader);
    // RAR 4 names without the Unicode flag are in the archiver's OEM code page; for this
    // program's users that is the Chinese one. ASCII names read the same either way.
    archive_read_set_format_option(reader, "rar", "hdrcharset", "CP936");
    if (archive_read_open_filename(reader, archivePath.c_str(), 1 << 16) != ARCHIVE_OK) {
        bool encrypted = looksEncrypted(reader, false);
        say("错误: " + printable(archivePath.c_str())
            + " 不是可读的RAR压缩包: " + printable(archive_error_string(reader)));
        archive_read_free(reader);
        return encrypted ? ExitPassword : ExitFatal;
    }
    // Entry names are written relative to the target folder, so the secure flags can refuse
    // every absolute name and every ".." outright.
    if (chdir(target.c_str()) != 0) {
        say("错误: 无法进入文件夹 " + printable(target.string().c_str()));
        archive_read_free(reader);
        return ExitCreate;
    }
    say("解压文件 " + printable(archivePath.c_str()));
    const std::vector<RarIndexEntry> index = readRarIndex(archivePath.string());
    size_t headerNumber = 0;

    archive* writer = archive_write_disk_new();
    archive_write_disk_set_options(writer,
                                   ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT
                                       | ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    int result = ExitOk;
    int entries = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        int r = archive_read_next_header(reader, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK) {
            bool encrypted = looksEncrypted(reader);
            say("错误: 压缩包已损坏: " + printable(archive_error_string(reader)));
            result = encrypted ? ExitPassword : ExitDamaged;
            if (r == ARCHIVE_FATAL || r == ARCHIVE_WARN || encrypted)
                break;
            continue;
        }
        ++entries;
        const RarIndexEntry* expected = headerNumber < index.size() ? &index[headerNumber] : nullptr;
        ++headerNumber;
        std::string name = printable(archive_entry_pathname(entry));
        if (archive_entry_is_encrypted(entry)) {
            say("错误: 加密的文件 " + name + "，无法解压");
            result = ExitPassword;
            break;
        }
        // Links and special files could point the later packing step at files outside the
        // extraction folder; only plain files and folders come out.
        mode_t type = archive_entry_filetype(entry);
        if ((type != AE_IFREG && type != AE_IFDIR) || archive_entry_hardlink(entry) || archive_entry_symlink(entry)) {
            say("错误: 不安全的条目 " + name + "，已跳过");
            result = ExitCreate;
            continue;
        }
        archive_entry_set_perm(entry, type == AE_IFDIR ? 0755 : 0644);
        if (archive_write_header(writer, entry) != ARCHIVE_OK) {
            say("错误: 无法解压 " + name + ": " + printable(archive_error_string(writer)));
            result = ExitCreate;
            continue;
        }
        bool entryOk = true;
        uint32_t crc = 0;
        uint64_t written = 0;
        while (type == AE_IFREG) {
            const void* buffer = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            r = archive_read_data_block(reader, &buffer, &size, &offset);
            if (r == ARCHIVE_EOF)
                break;
            if (r != ARCHIVE_OK) {
                say("错误: " + name + " 数据损坏: " + printable(archive_error_string(reader)));
                result = looksEncrypted(reader) ? ExitPassword : ExitDamaged;
                entryOk = false;
                break;
            }
            crc = crc32Update(crc, buffer, size);
            written += size;
            if (archive_write_data_block(writer, buffer, size, offset) != ARCHIVE_OK) {
                say("错误: 写入 " + name + " 失败: " + printable(archive_error_string(writer)));
                result = ExitCreate;
                entryOk = false;
                break;
            }
        }
        if (archive_write_finish_entry(writer) != ARCHIVE_OK && entryOk) {
            say("错误: 写入 " + name + " 失败: " + printable(archive_error_string(writer)));
            result = ExitCreate;
            entryOk = false;
        }
        // A size that differs means the header walk and the library disagree on entries: no check.
        if (entryOk && type == AE_IFREG && expected && expected->hasCrc && expected->size == written
            && expected->crc != crc) {
            say("错误: " + name + " CRC校验失败，文件已损坏");
            std::error_code removeError;
            fs::remove(archive_entry_pathname(entry), removeError);
            result = ExitDamaged;
            entryOk = false;
        }
        if (!entryOk && (result == ExitDamaged || result == ExitPassword))
            break;
        if (entryOk)
            say("正在解压  " + name + "  OK");
    }
    archive_write_free(writer);
    archive_read_free(reader);
    if (result == ExitOk && entries == 0) {
        say("错误: 没有可解压的文件");
        result = ExitNoFiles;
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    // Entry names are UTF-8 (RAR 5) or converted to the locale; a plain "C" locale would turn every
    // non-ASCII name into an error.
    if (!std::setlocale(LC_ALL, "") || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    Options options;
    std::string problem;
    int rc = ExitUsage;
    if (!parseArguments(argc, argv, options, problem))
        say("错误: " + problem);
    else
        rc = extract(options);
    if (rc == ExitOk)
        say("全部完成");
    std::fflush(stdout);
    return rc;
}
