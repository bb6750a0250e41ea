// oneclick-build package: a product package, the password-protected zip archive the installer
// extracts. Every file is encrypted (WinZip AES-256 or traditional PKWARE) with the package
// password, keeps its permission bits and time; folders and links are stored as such.
#include "Command.h"

#include "support/Constants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <vector>
#include <zip.h>

namespace {
const QString cnName = QStringLiteral("package");
namespace fs = std::filesystem;

struct TOptions {
    QString Dir;
    QString Output;
    zip_uint16_t Method = ZIP_EM_AES_256;
    QString Password;
    bool HasPassword = false;
};

// Parses the arguments; an empty optional message means they are sound.
QString parseOptions(const QStringList& args, TOptions& options) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool takesValue =
            arg == "-o" || arg == "--output" || arg == "--method" || arg == "--password";
        if (takesValue && i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(arg);
        if (arg == "-o" || arg == "--output") {
            options.Output = args[++i];
        } else if (arg == "--method") {
            const QString method = args[++i];
            if (method == "aes256")
                options.Method = ZIP_EM_AES_256;
            else if (method == "zipcrypto")
                options.Method = ZIP_EM_TRAD_PKWARE;
            else
                return QStringLiteral("unknown method \"%1\" (aes256 or zipcrypto)").arg(method);
        } else if (arg == "--password") {
            options.Password = args[++i];
            options.HasPassword = true;
        } else if (arg.startsWith('-') || !options.Dir.isEmpty()) {
            return QStringLiteral("unexpected argument \"%1\"").arg(arg);
        } else {
            options.Dir = arg;
        }
    }
    if (options.Dir.isEmpty())
        return QStringLiteral("wants the folder DIR to pack");
    if (options.Output.isEmpty())
        return QStringLiteral("wants -o FILE");
    if (options.HasPassword && options.Password.isEmpty())
        return QStringLiteral("the password must not be empty");
    return QString();
}

class TPackageWriter {
public:
    TPackageWriter(zip_t* archive, const TOptions& options, const std::string& password)
        : FArchive(archive), FOptions(options), FPassword(password) {}

    // Adds the tree below root; false (with FError) on the first entry libzip refuses.
    bool AddTree(const fs::path& root, const fs::path& skip) {
        std::vector<fs::path> paths;
        std::error_code error;
        for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
             it.increment(error))
            paths.push_back(it->path());
        if (error) {
            FError = QString::fromStdString(error.message());
            return false;
        }
        // Sorted, so the same tree always gives the same entries in the same order.
        std::sort(paths.begin(), paths.end());
        for (const fs::path& path : paths) {
            if (!skip.empty() && fs::equivalent(path, skip, error))
                continue;
            if (!addEntry(path, path.lexically_relative(root).generic_string()))
                return false;
        }
        return true;
    }

    QString Error() const { return FError; }
    int Count() const { return FCount; }

private:
    bool addEntry(const fs::path& path, const std::string& name) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            return fail(name, QStringLiteral("cannot be read"));
        zip_int64_t index;
        zip_uint32_t type;
        if (S_ISDIR(st.st_mode)) {
            index = zip_dir_add(FArchive, name.c_str(), ZIP_FL_ENC_GUESS);
            type = S_IFDIR;
        } else if (S_ISLNK(st.st_mode)) {
            const std::string target = fs::read_symlink(path).string();
            index = addData(name, target);
            type = S_IFLNK;
        } else if (S_ISREG(st.st_mode)) {
            zip_source_t* source = zip_source_file(FArchive, path.c_str(), 0, -1);
            index = source ? zip_file_add(FArchive, name.c_str(), source, ZIP_FL_ENC_GUESS) : -1;
            if (source && index < 0)
                zip_source_free(source);
            type = S_IFREG;
        } else {
            QTextStream(stderr) << "oneclick-build " << cnName << ": skipped special file "
                                << QString::fromStdString(name) << '\n';
            return true;
        }
        if (index < 0)
            return fail(name, QString::fromUtf8(zip_strerror(FArchive)));
        const zip_uint32_t mode = type == S_IFDIR ? 0755 : st.st_mode & 0777;
        bool ok = zip_file_set_external_attributes(FArchive, index, 0, ZIP_OPSYS_UNIX,
                                                   (type | mode) << 16) == 0 &&
                  zip_file_set_mtime(FArchive, index, st.st_mtime, 0) == 0;
        if (ok && type != S_IFDIR)
            ok = zip_file_set_encryption(FArchive, index, FOptions.Method, FPassword.c_str()) == 0;
        if (!ok)
            return fail(name, QString::fromUtf8(zip_strerror(FArchive)));
        ++FCount;
        return true;
    }

    zip_int64_t addData(const std::string& name, const std::string& data) {
        // libzip frees a buffer it owns, except an empty one.
        void* copy = data.empty() ? nullptr : ::malloc(data.size());
        if (!copy && !data.empty())
            return -1;
        if (copy)
            std::memcpy(copy, data.data(), data.size());
        zip_source_t* source = zip_source_buffer(FArchive, copy, data.size(), copy ? 1 : 0);
        if (!source) {
            ::free(copy);
            return -1;
        }
        const zip_int64_t index = zip_file_add(FArchive, name.c_str(), source, ZIP_FL_ENC_GUESS);
        if (index < 0)
            zip_source_free(source);
        return index;
    }

    bool fail(const std::string& name, const QString& why) {
        FError = QString::fromStdString(name) + ": " + why;
        return false;
    }

    zip_t* FArchive;
    const TOptions& FOptions;
    const std::string& FPassword;
    QString FError;
    int FCount = 0;
};

int runPackage(const QStringList& args) {
    TOptions options;
    if (const QString problem = parseOptions(args, options); !problem.isEmpty())
        return UsageError(cnName, problem);
    QTextStream err(stderr);
    const QFileInfo dir(options.Dir);
    if (!dir.isDir()) {
        err << "oneclick-build " << cnName << ": not a folder: " << options.Dir << '\n';
        return ExitFailure;
    }
    // The password goes into the archive as the installer will hand it to the extraction.
    const std::string password =
        (options.HasPassword ? options.Password : PackagePassword()).toLocal8Bit().toStdString();
    if (password.empty()) {
        err << "oneclick-build " << cnName << ": no package password\n";
        return ExitFailure;
    }

    const QByteArray output = QFile::encodeName(options.Output);
    int error = 0;
    zip_t* archive = zip_open(output.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        err << "oneclick-build " << cnName << ": cannot create " << options.Output << ": "
            << zip_error_strerror(&zipError) << '\n';
        zip_error_fini(&zipError);
        return ExitFailure;
    }
    // libzip writes a temporary file and renames it on close: a failed run leaves no archive.
    const fs::path root = QFile::encodeName(dir.absoluteFilePath()).toStdString();
    std::error_code ignored;
    const fs::path existingOutput =
        fs::exists(output.toStdString(), ignored) ? fs::path(output.toStdString()) : fs::path();
    TPackageWriter writer(archive, options, password);
    if (!writer.AddTree(root, existingOutput)) {
        err << "oneclick-build " << cnName << ": " << writer.Error() << '\n';
        zip_discard(archive);
        return ExitFailure;
    }
    if (zip_close(archive) != 0) {
        err << "oneclick-build " << cnName << ": cannot write " << options.Output << ": "
            << zip_strerror(archive) << '\n';
        zip_discard(archive);
        return ExitFailure;
    }
    QTextStream(stdout) << options.Output << ": " << writer.Count() << " entries\n";
    return ExitOk;
}

const TCommandRegistrar cnRegistrar(
    {cnName, QStringLiteral("DIR -o FILE [--method aes256|zipcrypto] [--password TEXT]"),
     runPackage});
} // namespace
