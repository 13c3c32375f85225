#include "platform/unrar/LibrarySlots.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace unrar {

namespace {

#if defined(__x86_64__)
constexpr uint32_t kGlobDat = R_X86_64_GLOB_DAT;
constexpr uint32_t kAbs64 = R_X86_64_64;
constexpr uint32_t kJumpSlot = R_X86_64_JUMP_SLOT;
#elif defined(__aarch64__)
constexpr uint32_t kGlobDat = R_AARCH64_GLOB_DAT;
constexpr uint32_t kAbs64 = R_AARCH64_ABS64;
constexpr uint32_t kJumpSlot = R_AARCH64_JUMP_SLOT;
#else
constexpr uint32_t kGlobDat = UINT32_MAX;
constexpr uint32_t kAbs64 = UINT32_MAX;
constexpr uint32_t kJumpSlot = UINT32_MAX;
#endif

// The read-only-after-relocation range of the object loaded at Base, if it has one.
struct TRelro {
  uintptr_t Base = 0;
  uintptr_t Begin = 0, End = 0;
};

int FindRelro(struct dl_phdr_info* Info, size_t, void* Data) {
  auto* R = static_cast<TRelro*>(Data);
  if (Info->dlpi_addr != R->Base) return 0;
  for (int I = 0; I < Info->dlpi_phnum; ++I) {
    const ElfW(Phdr)& P = Info->dlpi_phdr[I];
    if (P.p_type == PT_GNU_RELRO) {
      R->Begin = Info->dlpi_addr + P.p_vaddr;
      R->End = R->Begin + P.p_memsz;
    }
  }
  return 1;
}

// A dynamic-section address: relocated by the loader on most systems, a bare offset on some.
uintptr_t DynAddr(uintptr_t Base, ElfW(Addr) Value) { return Value < Base ? Base + Value : Value; }

// The link map of the object that holds Code.
const struct link_map* MapOf(const void* Code) {
  Dl_info Info{};
  struct link_map* Map = nullptr;
  if (!Code || !dladdr1(Code, &Info, reinterpret_cast<void**>(&Map), RTLD_DL_LINKMAP)) return nullptr;
  return Map;
}

}  // namespace

std::vector<void**> LibrarySlots(const void* Code, const char* Symbol) {
  std::vector<void**> Slots;
  const struct link_map* Map = MapOf(Code);
  if (!Map) return Slots;
  const uintptr_t Base = Map->l_addr;
  const ElfW(Sym)* Symbols = nullptr;
  const char* Strings = nullptr;
  const ElfW(Rela) * Rela[2] = {nullptr, nullptr};
  size_t RelaSize[2] = {0, 0};
  bool PltIsRela = false;
  for (const ElfW(Dyn)* D = Map->l_ld; D && D->d_tag != DT_NULL; ++D) {
    switch (D->d_tag) {
      case DT_SYMTAB:
        Symbols = reinterpret_cast<const ElfW(Sym)*>(DynAddr(Base, D->d_un.d_ptr));
        break;
      case DT_STRTAB:
        Strings = reinterpret_cast<const char*>(DynAddr(Base, D->d_un.d_ptr));
        break;
      case DT_RELA:
        Rela[0] = reinterpret_cast<const ElfW(Rela)*>(DynAddr(Base, D->d_un.d_ptr));
        break;
      case DT_RELASZ:
        RelaSize[0] = D->d_un.d_val;
        break;
      case DT_JMPREL:
        Rela[1] = reinterpret_cast<const ElfW(Rela)*>(DynAddr(Base, D->d_un.d_ptr));
        break;
      case DT_PLTRELSZ:
        RelaSize[1] = D->d_un.d_val;
        break;
      case DT_PLTREL:
        PltIsRela = D->d_un.d_val == DT_RELA;
        break;
      default:
        break;
    }
  }
  if (!Symbols || !Strings) return Slots;
  if (!PltIsRela) Rela[1] = nullptr;
  for (int Table = 0; Table < 2; ++Table) {
    if (!Rela[Table]) continue;
    for (size_t I = 0; I < RelaSize[Table] / sizeof(ElfW(Rela)); ++I) {
      const ElfW(Rela)& R = Rela[Table][I];
      const uint32_t Type = static_cast<uint32_t>(ELF64_R_TYPE(R.r_info));
      if (Type != kGlobDat && Type != kAbs64 && Type != kJumpSlot) continue;
      const ElfW(Sym)& S = Symbols[ELF64_R_SYM(R.r_info)];
      if (std::strcmp(Strings + S.st_name, Symbol) == 0)
        Slots.push_back(reinterpret_cast<void**>(Base + R.r_offset));
    }
  }
  return Slots;
}

bool SetLibrarySlot(const void* Code, void** Slot, void* Value) {
  const struct link_map* Map = MapOf(Code);
  if (!Map || !Slot) return false;
  TRelro Relro;
  Relro.Base = Map->l_addr;
  dl_iterate_phdr(FindRelro, &Relro);
  const uintptr_t At = reinterpret_cast<uintptr_t>(Slot);
  const bool ReadOnly = At >= Relro.Begin && At < Relro.End;
  const uintptr_t Page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  void* PageStart = reinterpret_cast<void*>(At & ~(Page - 1));
  if (ReadOnly && ::mprotect(PageStart, Page, PROT_READ | PROT_WRITE) != 0) return false;
  __atomic_store_n(Slot, Value, __ATOMIC_RELEASE);
  if (ReadOnly) ::mprotect(PageStart, Page, PROT_READ);
  return true;
}

}  // namespace unrar
