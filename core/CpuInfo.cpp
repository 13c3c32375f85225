#include "core/CpuInfo.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <algorithm>
#include <cstring>

constinit char CPUVendor[kCpuVendorLength + 1] = "Unknown CPU ";
constinit bool HasMMX = false;
constinit bool Has3DNow = false;
constinit bool HasSSE2 = false;

namespace {

constexpr uint32_t kMmxBit = 1u << 23;    // leaf 1 EDX
constexpr uint32_t kSse2Bit = 1u << 26;   // leaf 1 EDX
constexpr uint32_t k3DNowBit = 1u << 31;  // leaf 0x80000001 EDX
constexpr uint32_t kExtendedFeatureLeaf = 0x80000001;
constexpr char kUnknownVendor[kCpuVendorLength + 1] = "Unknown CPU ";

}  // namespace

TCpuIdentification ReadCpuIdentification() {
  TCpuIdentification Id;
#if defined(__x86_64__) || defined(__i386__)
  unsigned int Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
  // __get_cpuid returns 0 when the leaf (or the instruction itself) is not there.
  if (!__get_cpuid(0, &Eax, &Ebx, &Ecx, &Edx)) return Id;
  Id.HasIdInstruction = true;
  char Vendor[12];
  std::memcpy(Vendor, &Ebx, 4);
  std::memcpy(Vendor + 4, &Edx, 4);
  std::memcpy(Vendor + 8, &Ecx, 4);
  Id.Vendor.assign(Vendor, 12);
  if (Eax >= 1 && __get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx)) Id.FeatureEdx = Edx;
  Id.MaxExtendedLeaf = __get_cpuid_max(0x80000000, nullptr);
  if (Id.MaxExtendedLeaf >= kExtendedFeatureLeaf && __get_cpuid(kExtendedFeatureLeaf, &Eax, &Ebx, &Ecx, &Edx))
    Id.ExtendedEdx = Edx;
#endif
  return Id;
}

void DetectCPU(const TCpuIdentification& Id) {
  std::memcpy(CPUVendor, kUnknownVendor, sizeof CPUVendor);
  HasMMX = false;
  Has3DNow = false;
  HasSSE2 = false;
  if (!Id.HasIdInstruction) return;
  // A shorter answer is padded with blanks, a longer one cut: the text is always 12 characters.
  std::memset(CPUVendor, ' ', kCpuVendorLength);
  std::memcpy(CPUVendor, Id.Vendor.data(), std::min<size_t>(Id.Vendor.size(), kCpuVendorLength));
  HasSSE2 = (Id.FeatureEdx & kSse2Bit) != 0;
  if ((Id.FeatureEdx & kMmxBit) == 0) return;
  HasMMX = true;
  if (Id.MaxExtendedLeaf >= kExtendedFeatureLeaf && (Id.ExtendedEdx & k3DNowBit) != 0) Has3DNow = true;
}

void DetectCPU() { DetectCPU(ReadCpuIdentification()); }

namespace {

// The facts are there from start-up for every reader; the routine tables ask again for their own choice,
// so the order in which the two start-ups run does not matter.
[[maybe_unused]] const bool kDetected = [] {
  DetectCPU();
  return true;
}();

}  // namespace
