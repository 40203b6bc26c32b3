#include "media/LoaderPages.h"

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace {

bool HasTextRelocations(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_DYNAMIC)
            continue;
        const auto* dyn = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + ph.p_vaddr);
        for (; dyn->d_tag != DT_NULL; ++dyn)
            if (dyn->d_tag == DT_TEXTREL ||
                (dyn->d_tag == DT_FLAGS && (dyn->d_un.d_val & DF_TEXTREL)))
                return true;
    }
    return false;
}

// Called with the loader's list locked: no library is added or removed
// meanwhile.
int ReleaseFirstSegment(dl_phdr_info* info, size_t, void* released) {
    if (HasTextRelocations(info))
        return 0;
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t relroStart = 0, relroEnd = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_GNU_RELRO) {
            relroStart = info->dlpi_addr + ph.p_vaddr;
            relroEnd = relroStart + ph.p_memsz;
        }
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        // Only the segment at the file's start that is read-only from the
        // first: not code, not data, not the virtual system-call library
        // (whose first segment is code).
        if (ph.p_type != PT_LOAD || ph.p_offset != 0 || ph.p_flags != PF_R)
            continue;
        // Whole pages inside the file's bytes of the segment.
        const uintptr_t from = (info->dlpi_addr + ph.p_vaddr + page - 1) & ~(page - 1);
        uintptr_t to = (info->dlpi_addr + ph.p_vaddr + ph.p_filesz) & ~(page - 1);
        if (relroEnd > from && relroStart < to)
            to = relroStart & ~(page - 1);
        if (to > from && madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED) == 0)
            *static_cast<size_t*>(released) += to - from;
        break;
    }
    return 0;
}

} // namespace

size_t ReleaseLoaderPages() {
    size_t released = 0;
    dl_iterate_phdr(&ReleaseFirstSegment, &released);
    return released;
}
