/* The export contract of the converter plug-ins: what every converter library exports and the converter
 * host binds by name with dlsym. This is a C header: it is shared by the host (C++) and by every converter
 * library, and a library may be written in C.
 *
 * Types: Integer is int32_t, a Boolean result is one byte (0 = false, anything else = true; the host tests
 * only that byte), 8-bit strings are zero-terminated (file names in the system's own bytes, UTF-8 on Linux;
 * converted 8-bit text in the Windows code page of the national-language layer), UTF-16 strings are
 * zero-terminated char16_t.
 *
 * Result blocks: a conversion export returns its text in a block that the library allocates with
 * ConvAllocResultBlock and that the caller owns and frees with ConvFreeResultBlock. Both are the process's
 * one malloc/free, so a block may cross any number of libraries before it is freed. The byte count of the
 * text goes to the caller's Size; the block holds at least one zero character of the text's width behind
 * the text (two zero bytes for UTF-16 text).
 *
 * Errors: an export never lets an exception out. A conversion that answers null leaves a non-empty text
 * that GetConversionError hands out; it survives until the next call that clears or sets it. A
 * conversion that answers text may leave a warning that GetConversionWarning hands out.
 *
 * Threads: a library keeps its error text and its callback in module-wide state and converts one document
 * at a time; the host calls it from one thread. */
#ifndef SCRYLINE_PLUGINS_CONVERTEREXPORTS_H
#define SCRYLINE_PLUGINS_CONVERTEREXPORTS_H

#include <stdint.h>
#include <stdlib.h>

#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t TConvBool;

/* The progress-and-cancel callback. A library always passes Kind 0; Current = Total = -1 asks only whether
 * to go on, any other pair is a position out of a total. An answer of 0 cancels, anything else goes on. */
typedef int32_t (*TPluginCallback)(int32_t Kind, int32_t Current, int32_t Total, void* UserData);

/* TCompatibilityFlags: the set answered by GetCompatibilityFlags. */
enum {
  /* converts memory blocks (ConvertMemoryToUnicode / ConvertMemoryToPureText) */
  cfMemoryConversion = 0x01,
  /* produces UTF-16 natively; asked for UTF-16 when the host's caller takes either form */
  cfUnicodeOutput = 0x02,
  /* set by every library; nothing depends on them */
  cfFlag4 = 0x04,
  cfFlag8 = 0x08,
  /* the host does not enter its busy state while this library converts */
  cfNoBusyLock = 0x10
};

/* The exports in the order the host binds them: X(name, required). The first 17 are required; a library
 * lacking one is not loaded. */
#define CONVERTER_EXPORT_LIST(X) \
  X(GetDllInfo, 1)               \
  X(GetDllVersion, 1)            \
  X(InitializeConverterTypes, 1) \
  X(FreeUpConverterTypes, 1)     \
  X(GetCompatibilityFlags, 1)    \
  X(GetOptionFlags, 1)           \
  X(SetOptionFlags, 1)           \
  X(ListSupportedTypes, 1)       \
  X(IsFileTypeSupported, 1)      \
  X(GetType, 1)                  \
  X(GetTypeDescription, 1)       \
  X(IsFileSupported, 1)          \
  X(ConvertToUnicode, 1)         \
  X(ConvertToPureText, 1)        \
  X(ConvertMemoryToUnicode, 1)   \
  X(ConvertMemoryToPureText, 1)  \
  X(GetConversionError, 1)       \
  X(IsMemDataSupported, 0)       \
  X(IsFileSupportedW, 0)         \
  X(ConvertToUnicodeW, 0)        \
  X(ConvertToPureTextW, 0)       \
  X(SetCallback, 0)              \
  X(GetConversionWarning, 0)

/* The type of each export, named after it with a T prefix. */
/* Static banner of the library. */
typedef const char* (*TGetDllInfo)(void);
/* Build number. */
typedef int32_t (*TGetDllVersion)(void);
/* One-time set-up and its undoing. */
typedef TConvBool (*TInitializeConverterTypes)(void);
typedef TConvBool (*TFreeUpConverterTypes)(void);
/* The TCompatibilityFlags. */
typedef int32_t (*TGetCompatibilityFlags)(void);
typedef int32_t (*TGetOptionFlags)(void);
typedef void (*TSetOptionFlags)(int32_t Flags);
/* The extensions without dots, separated by ";"; Count receives their number. */
typedef const char* (*TListSupportedTypes)(int32_t* Count);
/* Whether an extension (without dot) is one of the library's types. */
typedef TConvBool (*TIsFileTypeSupported)(const char* Ext);
/* Extension and display name of type Index (0-based). */
typedef const char* (*TGetType)(int32_t Index);
typedef const char* (*TGetTypeDescription)(int32_t Index);
/* Content test of a named file. */
typedef TConvBool (*TIsFileSupported)(const char* FileName);
typedef TConvBool (*TIsFileSupportedW)(const char16_t* FileName);
/* A named file as UTF-16 or 8-bit text in a result block; Size receives the byte count; null on failure. */
typedef void* (*TConvertToUnicode)(const char* FileName, int32_t* Size);
typedef void* (*TConvertToPureText)(const char* FileName, int32_t* Size);
typedef void* (*TConvertToUnicodeW)(const char16_t* FileName, int32_t* Size);
typedef void* (*TConvertToPureTextW)(const char16_t* FileName, int32_t* Size);
/* Size bytes at Data (Size in: input length; out: the text's byte count). Reserved is 0. */
typedef void* (*TConvertMemoryToUnicode)(const void* Data, int32_t Reserved, int32_t* Size);
typedef void* (*TConvertMemoryToPureText)(const void* Data, int32_t Reserved, int32_t* Size);
/* Copies the error text into Buffer, at most MaxLen bytes with the terminating zero, and answers whether
 * the text is non-empty. */
typedef TConvBool (*TGetConversionError)(char* Buffer, int32_t MaxLen);
/* After a conversion that answered text: copies its warning (what the text leaves out, such as pages of
 * a document that could not be read) like GetConversionError, and answers whether there is one. Every
 * conversion clears it when it starts. A library without this export has nothing to warn of. */
typedef TConvBool (*TGetConversionWarning)(char* Buffer, int32_t MaxLen);
typedef TConvBool (*TIsMemDataSupported)(const void* Data);
/* Keeps Callback and UserData for the following conversions; a null Callback removes it. */
typedef void (*TSetCallback)(TPluginCallback Callback, void* UserData);

/* The receiver's side of a result block, and the producer's. */
static inline void* ConvAllocResultBlock(size_t Bytes) { return malloc(Bytes); }
static inline void ConvFreeResultBlock(void* Block) { free(Block); }

#ifdef SCRYLINE_CONVERTER_LIBRARY
/* Prototypes for the libraries, so that a definition that strays from the contract does not compile.
 * The host never sees them: it binds the exports by name. */
const char* GetDllInfo(void);
int32_t GetDllVersion(void);
TConvBool InitializeConverterTypes(void);
TConvBool FreeUpConverterTypes(void);
int32_t GetCompatibilityFlags(void);
int32_t GetOptionFlags(void);
void SetOptionFlags(int32_t Flags);
const char* ListSupportedTypes(int32_t* Count);
TConvBool IsFileTypeSupported(const char* Ext);
const char* GetType(int32_t Index);
const char* GetTypeDescription(int32_t Index);
TConvBool IsFileSupported(const char* FileName);
void* ConvertToUnicode(const char* FileName, int32_t* Size);
void* ConvertToPureText(const char* FileName, int32_t* Size);
void* ConvertMemoryToUnicode(const void* Data, int32_t Reserved, int32_t* Size);
void* ConvertMemoryToPureText(const void* Data, int32_t Reserved, int32_t* Size);
TConvBool GetConversionError(char* Buffer, int32_t MaxLen);
TConvBool IsMemDataSupported(const void* Data);
TConvBool IsFileSupportedW(const char16_t* FileName);
void* ConvertToUnicodeW(const char16_t* FileName, int32_t* Size);
void* ConvertToPureTextW(const char16_t* FileName, int32_t* Size);
void SetCallback(TPluginCallback Callback, void* UserData);
TConvBool GetConversionWarning(char* Buffer, int32_t MaxLen);
#endif

#ifdef __cplusplus
}
#endif

#endif /* SCRYLINE_PLUGINS_CONVERTEREXPORTS_H */
