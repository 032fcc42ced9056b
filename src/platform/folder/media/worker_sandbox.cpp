// worker_sandbox.cpp: the layers in the order they must go on: the namespace
// needs unshare and Landlock its own calls, both of which the filter forbids.
// The allow-list is what receiving a descriptor, decoding with FFmpeg,
// scaling with Qt and replying need, and what the sanitizers use at run time.
#include "worker_sandbox.h"

#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace reelkeep::media {

namespace {

bool isolateNetwork() {
    // A user namespace lets an unprivileged process make the network namespace;
    // as root the network namespace alone works.
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0 || ::unshare(CLONE_NEWNET) == 0;
}

// landlock_ruleset_attr as newer kernels read it; older headers lack the
// network and scope fields, and each ABI takes the size it knows.
struct LandlockRuleset {
    std::uint64_t handledFileAccess = 0;
    std::uint64_t handledNetworkAccess = 0;  // ABI 4: TCP bind and connect
    std::uint64_t scoped = 0;                // ABI 6: abstract sockets and signals outside
};

// Every right this kernel knows, handled and granted to nothing.
bool forbidFileAccess() {
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) return false;
    LandlockRuleset ruleset;
    ruleset.handledFileAccess = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // the first ABI's thirteen
    if (abi >= 2) ruleset.handledFileAccess |= std::uint64_t{1} << 13;   // refer
    if (abi >= 3) ruleset.handledFileAccess |= std::uint64_t{1} << 14;   // truncate
    if (abi >= 5) ruleset.handledFileAccess |= std::uint64_t{1} << 15;   // device ioctl
    if (abi >= 4) ruleset.handledNetworkAccess = 0b11;
    if (abi >= 6) ruleset.scoped = 0b11;
    const std::size_t size = abi >= 6   ? sizeof ruleset
                             : abi >= 4 ? 2 * sizeof(std::uint64_t)
                                        : sizeof(std::uint64_t);
    const long fd = ::syscall(SYS_landlock_create_ruleset, &ruleset, size, 0);
    if (fd < 0) return false;
    const bool isRestricted = ::syscall(SYS_landlock_restrict_self, fd, 0) == 0;
    ::close(static_cast<int>(fd));
    return isRestricted;
}

constexpr int kAllowed[] = {
    // The request socket, the received video and the reply.
    SCMP_SYS(read),
    SCMP_SYS(readv),
    SCMP_SYS(pread64),
    SCMP_SYS(preadv),
    SCMP_SYS(write),
    SCMP_SYS(writev),
    SCMP_SYS(recvmsg),
    SCMP_SYS(sendmsg),
    SCMP_SYS(recvfrom),
    SCMP_SYS(sendto),
    SCMP_SYS(poll),
    SCMP_SYS(ppoll),
    SCMP_SYS(lseek),
    SCMP_SYS(close),
    SCMP_SYS(fstat),
    SCMP_SYS(newfstatat),
    SCMP_SYS(statx),
    SCMP_SYS(fcntl),
    SCMP_SYS(dup),
    // Memory and threads (Qt scales large pictures on a few).
    SCMP_SYS(brk),
    SCMP_SYS(mmap),
    SCMP_SYS(munmap),
    SCMP_SYS(mremap),
    SCMP_SYS(mprotect),
    SCMP_SYS(madvise),
    SCMP_SYS(futex),
    SCMP_SYS(set_robust_list),
    SCMP_SYS(rseq),
    SCMP_SYS(membarrier),
    SCMP_SYS(sched_yield),
    SCMP_SYS(sched_getaffinity),
    // Signals, time, identity and the end.
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(sigaltstack),
    SCMP_SYS(restart_syscall),
    SCMP_SYS(clock_gettime),
    SCMP_SYS(clock_getres),
    SCMP_SYS(gettimeofday),
    SCMP_SYS(clock_nanosleep),
    SCMP_SYS(nanosleep),
    SCMP_SYS(getpid),
    SCMP_SYS(gettid),
    SCMP_SYS(getppid),
    SCMP_SYS(getuid),
    SCMP_SYS(geteuid),
    SCMP_SYS(getgid),
    SCMP_SYS(getegid),
    SCMP_SYS(getrandom),
    SCMP_SYS(uname),
    SCMP_SYS(sysinfo),
    SCMP_SYS(getrusage),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers test whether memory is readable by writing it into a pipe.
    SCMP_SYS(pipe2),
#endif
};

// Opening a path fails: a library probing a file lives with that.
constexpr int kRefusedOpens[] = {
    SCMP_SYS(open),       SCMP_SYS(openat),           SCMP_SYS(openat2), SCMP_SYS(creat),
    SCMP_SYS(readlink),   SCMP_SYS(readlinkat),       SCMP_SYS(access),  SCMP_SYS(faccessat),
    SCMP_SYS(faccessat2), SCMP_SYS(name_to_handle_at)};

bool installFilter() {
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter) return false;
    bool isBuilt = ::seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS) == 0;
    for (const int call : kAllowed)
        isBuilt = isBuilt && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    for (const int call : kRefusedOpens)
        isBuilt = isBuilt && ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0) == 0;
    // Threads only, never a new process. glibc tries clone3 first, whose
    // flags sit in memory a filter cannot read: it falls back to clone.
    isBuilt = isBuilt &&
              ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                                 SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) == 0 &&
              ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // Signals to itself only (abort raises SIGABRT through tgkill).
    const auto self = static_cast<scmp_datum_t>(::getpid());
    isBuilt =
        isBuilt &&
        ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_EQ, self)) == 0 &&
        ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_EQ, self)) == 0;
    // Reading its own limits, never raising them (a root worker could).
    isBuilt = isBuilt && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 2,
                                            SCMP_A0(SCMP_CMP_EQ, 0), SCMP_A2(SCMP_CMP_EQ, 0)) == 0;
    // isatty() on stderr for the log; thread names; other requests fail.
    isBuilt =
        isBuilt &&
        ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(ioctl), 1, SCMP_A1(SCMP_CMP_EQ, TCGETS)) == 0 &&
        ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl), 1,
                           SCMP_A1(SCMP_CMP_NE, TCGETS)) == 0;
    for (const int option : {PR_SET_NAME, PR_GET_NAME, PR_GET_DUMPABLE})
        isBuilt = isBuilt && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1,
                                                SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(option))) == 0;
    const bool isLoaded = isBuilt && ::seccomp_load(filter) == 0;
    ::seccomp_release(filter);
    return isLoaded;
}

}  // namespace

SandboxReport enterWorkerSandbox() {
    SandboxReport report;
    // Required by Landlock and by an unprivileged filter; keeps setuid programs powerless.
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    if (!isolateNetwork()) report.missingLayers << QStringLiteral("network namespace");
    if (!forbidFileAccess()) report.missingLayers << QStringLiteral("Landlock");
    report.isConfined = installFilter();
    if (!report.isConfined) report.missingLayers << QStringLiteral("seccomp");
    return report;
}

}  // namespace reelkeep::media
