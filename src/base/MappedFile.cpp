#include "base/MappedFile.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The mappings the SIGBUS handler may repair. Fixed, so the handler never allocates or locks;
// more mappings at once than this are refused (the caller reads instead).
constexpr int kSlots = 64;

struct Slot {
    std::atomic<uintptr_t> begin{0}; // 0: free
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> shrank{false};
    std::atomic<bool> taken{false};
};

Slot gSlots[kSlots];
uintptr_t gPageSize = 4096;
struct sigaction gPrevious { };

void OnBusError(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Slot& slot : gSlots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end)
            continue;
        // The file ended before this page: zeros from here to the mapping's end, and the
        // faulting read is retried on them.
        const uintptr_t page = address & ~(gPageSize - 1);
        void* zeros = mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            slot.shrank.store(true, std::memory_order_release);
            errno = savedErrno;
            return;
        }
        break;
    }
    // Not one of ours: as it would have gone without this handler.
    if (gPrevious.sa_flags & SA_SIGINFO) {
        if (gPrevious.sa_sigaction) {
            gPrevious.sa_sigaction(signal, info, context);
            errno = savedErrno;
            return;
        }
    } else if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
        errno = savedErrno;
        return;
    }
    ::signal(SIGBUS, SIG_DFL); // the faulting read runs again and ends the process
    errno = savedErrno;
}

void InstallHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gPageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action { };
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPrevious);
    });
}

} // namespace

MappedFile::MappedFile(int fd, uint64_t size)
{
    if (size == 0 || size > SIZE_MAX)
        return;
    InstallHandler();
    for (int i = 0; i < kSlots && FSlot < 0; ++i) {
        bool expected = false;
        if (gSlots[i].taken.compare_exchange_strong(expected, true))
            FSlot = i;
    }
    if (FSlot < 0)
        return;
    void* data = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
        gSlots[FSlot].taken.store(false);
        FSlot = -1;
        return;
    }
    FData = static_cast<const uint8_t*>(data);
    FSize = size;
    Slot& slot = gSlots[FSlot];
    slot.shrank.store(false);
    slot.end.store(reinterpret_cast<uintptr_t>(FData) + static_cast<uintptr_t>(size));
    slot.begin.store(reinterpret_cast<uintptr_t>(FData), std::memory_order_release);
}

MappedFile::~MappedFile()
{
    if (FSlot < 0)
        return;
    Slot& slot = gSlots[FSlot];
    slot.begin.store(0, std::memory_order_release);
    if (FData)
        munmap(const_cast<uint8_t*>(FData), static_cast<size_t>(FSize));
    slot.taken.store(false, std::memory_order_release);
}

bool MappedFile::Shrank() const
{
    return FSlot >= 0 && gSlots[FSlot].shrank.load(std::memory_order_acquire);
}
