// The binding of UnRar3.so (platform/unrar/UnRarApi.h), made once per process on the main thread, and
// the texts of its result codes.
#pragma once

#include <cstdint>
#include <string>

#include "archive/ArcIntf.h"
#include "platform/unrar/UnRarApi.h"

// The file name the binding loads by default (beside the program, then by the system's search).
extern const char* const kUnRarLibrary;

// The ten entry points; all are set when the library is bound.
struct TUnRarEntries {
  TRAROpenArchive OpenArchive = nullptr;
  TRARCloseArchive CloseArchive = nullptr;
  TRARReadHeader ReadHeader = nullptr;
  TRARReadHeaderEx ReadHeaderEx = nullptr;
  TRARProcessFile ProcessFile = nullptr;
  TRARSetCallback SetCallback = nullptr;
  TRARSetChangeVolProc SetChangeVolProc = nullptr;
  TRARSetProcessDataProc SetProcessDataProc = nullptr;
  TRARSetPassword SetPassword = nullptr;
  TRARGetDllVersion GetDllVersion = nullptr;
};

// Binds the library (Path empty: kUnRarLibrary) once per process: when bound or already tried, answers
// whether bound. A library that lacks any of the ten entry points is not bound.
bool LoadUnRarDll(const std::string& Path);
// Unbinds it and clears the tried flag, so that the next LoadUnRarDll tries again.
void UnloadUnRarDll();
bool UnRarDllLoaded();
// The entry points (all null when not bound) and the file that was loaded.
const TUnRarEntries& UnRarEntries();
std::string UnRarDllFileName();

// Opens FileName in Mode (RAR_OM_LIST or RAR_OM_EXTRACT): the handle, or nullptr with the reason in Msg
// (the open-error text, or "\"UnRar3.so\" not loaded" without a bound library).
void* RarOpenArchive(const std::string& FileName, uint32_t Mode, std::string& Msg);
// The same, raising Exception with Msg.
void* RarOpenArchiveOrRaise(const std::string& FileName, uint32_t Mode);
// Closes a handle when the scope ends.
struct TRarHandle {
  explicit TRarHandle(void* H) : Handle(H) {}
  ~TRarHandle();
  TRarHandle(const TRarHandle&) = delete;
  TRarHandle& operator=(const TRarHandle&) = delete;
  void* Handle;
};

// "UnRar error opening \"<file>\": " and the text of an open result.
std::string RarOpenErrorText(int Code, const std::string& FileName);
// The text of a process result: "UnRar error processing \"<archive>\": <text>" with an archive name,
// "UnRar: <text>" without.
std::string RarProcessErrorText(int Code, const std::string& ArcName);
// A DOS date and time as a TDateTime; 0 for an invalid stamp.
TDateTime RarDosDateTime(uint16_t Date, uint16_t Time);
