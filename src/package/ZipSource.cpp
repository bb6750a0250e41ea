// A libzip source over a shared descriptor: every handle keeps its own position and reads with
// pread(), which is safe from several threads at once.
#include "package/ZipSource.h"

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct TPositionedReader {
    int Fd;
    zip_uint64_t Size;
    zip_uint64_t Pos = 0;
    zip_error_t Error;
};

zip_int64_t readerCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* reader = static_cast<TPositionedReader*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        reader->Pos = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        if (reader->Pos >= reader->Size)
            return 0;
        zip_uint64_t wanted = reader->Size - reader->Pos;
        if (wanted > length)
            wanted = length;
        if (wanted > (1u << 30))
            wanted = 1u << 30;
        ssize_t n;
        do
            n = ::pread(reader->Fd, data, wanted, static_cast<off_t>(reader->Pos));
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            zip_error_set(&reader->Error, ZIP_ER_READ, errno);
            return -1;
        }
        reader->Pos += static_cast<zip_uint64_t>(n);
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        if (length < sizeof(*st)) {
            zip_error_set(&reader->Error, ZIP_ER_INVAL, 0);
            return -1;
        }
        zip_stat_init(st);
        st->size = reader->Size;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&reader->Error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&reader->Error);
        delete reader;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t pos =
            zip_source_seek_compute_offset(reader->Pos, reader->Size, data, length, &reader->Error);
        if (pos < 0)
            return -1;
        reader->Pos = static_cast<zip_uint64_t>(pos);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(reader->Pos);
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_SEEKABLE;
    default:
        zip_error_set(&reader->Error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}
} // namespace

TZipArchiveFile::~TZipArchiveFile() {
    if (FFd >= 0)
        ::close(FFd);
}

bool TZipArchiveFile::Open(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    if (FFd >= 0)
        ::close(FFd);
    FFd = fd;
    FSize = st.st_size;
    return true;
}

zip_t* TZipArchiveFile::OpenArchive() const {
    if (FFd < 0)
        return nullptr;
    auto* reader = new TPositionedReader{FFd, static_cast<zip_uint64_t>(FSize), 0, {}};
    zip_error_init(&reader->Error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(readerCallback, reader, &error);
    if (!source) {
        zip_error_fini(&reader->Error);
        delete reader;
        zip_error_fini(&error);
        return nullptr;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive)
        zip_source_free(source); // frees the reader through ZIP_SOURCE_FREE
    zip_error_fini(&error);
    return archive;
}

unsigned UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}
