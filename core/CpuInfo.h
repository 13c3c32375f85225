// The processor facts that pick the element routines (VectOps): vendor text, MMX, 3DNow and SSE2.
// DetectCPU runs at start-up (and again before the routine tables are chosen; it gives the same facts);
// afterwards the facts are read-only, so any thread may read them without locking. Tests call DetectCPU
// with identification answers of their own and then restore the processor's.
#pragma once

#include <cstdint>
#include <string>

// Length of the vendor identification: three 4-byte registers.
constexpr int kCpuVendorLength = 12;
// The processor's 12-character vendor identification, NUL-terminated; "Unknown CPU " (with its trailing
// blank) when the processor has no identification instruction. A fixed array, initialised as a constant:
// the start-up code of other units may run DetectCPU before this unit's own start-up has run.
extern char CPUVendor[kCpuVendorLength + 1];
extern bool HasMMX;
extern bool Has3DNow;
// Packed 128-bit integer instructions; the fast element routines use them in place of MMX.
extern bool HasSSE2;

// What the identification instruction answered. Tests build one by hand to reach every branch.
struct TCpuIdentification {
  bool HasIdInstruction = false;
  std::string Vendor;            // leaf 0: EBX, EDX, ECX as 12 characters
  uint32_t FeatureEdx = 0;       // leaf 1, EDX (bit 23 MMX, bit 26 SSE2)
  uint32_t MaxExtendedLeaf = 0;  // leaf 0x80000000, EAX
  uint32_t ExtendedEdx = 0;      // leaf 0x80000001, EDX (bit 31 3DNow); read only when that leaf exists
};

// Asks this processor. Off x86 the answer is "no identification instruction".
TCpuIdentification ReadCpuIdentification();

// Sets CPUVendor, HasMMX, Has3DNow and HasSSE2 from Id: the vendor when the instruction exists; MMX from
// leaf 1; 3DNow only once MMX was found; SSE2 from leaf 1 as well.
void DetectCPU(const TCpuIdentification& Id);
// DetectCPU (ReadCpuIdentification ()).
void DetectCPU();
