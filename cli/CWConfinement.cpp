#include "CWConfinement.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// The file-system rights each Landlock ABI version knows of; a ruleset may only name those.
uint64_t rightsOfAbi(long abi)
{
    uint64_t rights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
                      LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
                      LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                      LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
                      LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        rights |= 1ULL << 13; // REFER: links and renames between folders
    if (abi >= 3)
        rights |= 1ULL << 14; // TRUNCATE
    if (abi >= 5)
        rights |= 1ULL << 15; // IOCTL_DEV
    return rights;
}

constexpr uint64_t kReadRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

bool addRule(int ruleset, int folder, uint64_t rights)
{
    landlock_path_beneath_attr rule{};
    rule.allowed_access = rights;
    rule.parent_fd = folder;
    return ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

} // namespace

namespace CWConfinement {

QStringList systemFolders()
{
    return {QStringLiteral("/usr"),  QStringLiteral("/lib"), QStringLiteral("/lib64"), QStringLiteral("/bin"), QStringLiteral("/etc"),
            QStringLiteral("/proc"), QStringLiteral("/sys"), QStringLiteral("/dev"),   QStringLiteral("/run"), QStringLiteral("/opt")};
}

QStringList runtimeFolders()
{
    QStringList folders;
    // Decided when the program is built: nothing in a release build's environment widens what it reads.
#ifdef CLIPWELL_SANITIZED
    folders << QCoreApplication::applicationDirPath(); // reports are symbolised from the binary
    static const QRegularExpression file(QStringLiteral("suppressions=([^: ]+)"));
    for (const char* variable : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
        for (auto it = file.globalMatch(qEnvironmentVariable(variable)); it.hasNext();)
            folders << it.next().captured(1);
#endif
    return folders;
}

bool confineTo(int grantedFolder, const QStringList& readOnlyFolders, Error* error)
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        const int code = errno;
        setError(error, systemError(code, QStringLiteral("Landlock is not available in this kernel (%1)").arg(systemReason(code))));
        return false;
    }
    const uint64_t handled = rightsOfAbi(abi);
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = handled;
    const Descriptor ruleset(int(::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
    if (ruleset.fd < 0) {
        const int code = errno;
        setError(error, systemError(code, QStringLiteral("Landlock refused a ruleset: %1").arg(systemReason(code))));
        return false;
    }
    if (!addRule(ruleset.fd, grantedFolder, handled)) {
        const int code = errno;
        setError(error, systemError(code, QStringLiteral("Landlock refused the granted folder: %1").arg(systemReason(code))));
        return false;
    }
    for (const QString& path : readOnlyFolders) {
        const Descriptor folder(::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC));
        // A folder this system does not have needs no rule. A single file takes file rights only.
        struct stat info {};
        if (folder.fd < 0 || ::fstat(folder.fd, &info) != 0)
            continue;
        const uint64_t rights = S_ISDIR(info.st_mode) ? kReadRights : kReadRights & ~uint64_t(LANDLOCK_ACCESS_FS_READ_DIR);
        if (!addRule(ruleset.fd, folder.fd, rights & handled)) {
            const int code = errno;
            setError(error, systemError(code, QStringLiteral("Landlock refused \"%1\": %2").arg(path, systemReason(code))));
            return false;
        }
    }
    // The null device is written to by libraries that discard output.
    const Descriptor null(::open("/dev/null", O_PATH | O_CLOEXEC));
    if (null.fd >= 0)
        addRule(ruleset.fd, null.fd, (LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE) & handled);
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::syscall(SYS_landlock_restrict_self, ruleset.fd, 0) != 0) {
        const int code = errno;
        setError(error, systemError(code, QStringLiteral("Landlock could not restrict the process: %1").arg(systemReason(code))));
        return false;
    }
    return true;
}

} // namespace CWConfinement
