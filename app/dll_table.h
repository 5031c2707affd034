// The fixed table through which the program reaches the functions of the
// libraries it is not linked against (WinINet and the skin engine). Each row
// is looked up on its first call and cached; a row that cannot be resolved,
// or a call that leaves the stack unbalanced, ends the program.
#pragma once
#include <stdint.h>

// One argument or result word: 32 bits on i686; on x86_64 arguments are
// pointer-sized and the caller cleans the stack.
using DllWord = uintptr_t;

// X(row, Name, library, function, argument count)
#define FM_DLL_COMMANDS(X)                                                \
  X(0, FmSkinAttach, "FmSkin.dll", "FmSkin_Attach", 6)                     \
  X(1, InternetOpenA, "wininet.dll", "InternetOpenA", 5)                   \
  X(2, InternetConnectA, "wininet.dll", "InternetConnectA", 8)             \
  X(3, InternetCloseHandle, "wininet.dll", "InternetCloseHandle", 1)       \
  X(4, HttpOpenRequestA, "wininet.dll", "HttpOpenRequestA", 8)             \
  X(5, InternetSetOptionA, "wininet.dll", "InternetSetOptionA", 4)         \
  X(6, HttpSendRequestA, "wininet.dll", "HttpSendRequestA", 5)             \
  X(7, InternetReadFile, "wininet.dll", "InternetReadFile", 4)             \
  X(8, HttpQueryInfoA, "wininet.dll", "HttpQueryInfoA", 5)

enum DllRow : int {
#define FM_DLL_ROW_ENUM(row, name, library, function, count) kDllRow##name = row,
  FM_DLL_COMMANDS(FM_DLL_ROW_ENUM)
#undef FM_DLL_ROW_ENUM
  kDllRowCount
};

// (implementation and the typed call interface: see dll_table.cpp / below,
// written with the table itself)
