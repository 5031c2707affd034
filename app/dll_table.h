// The fixed table through which the program reaches the functions of the
// libraries it is not linked against (WinINet and the skin engine). Each row
// is looked up on its first call and cached; a row that cannot be resolved,
// or a call that leaves the stack unbalanced, ends the program.
//
// A row is called through CallDllCommand with the row's constant and exactly
// its arguments:
//   CallDllCommand(kDllRowInternetCloseHandle, handle);
// The argument count is checked at compile time against the row's line in
// FM_DLL_COMMANDS, so a call can never pass a different number of words than
// the function removes from the stack.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <type_traits>
#include <utility>

#include "app/text.h"

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

// Row numbers.
enum DllRow : int {
#define FM_DLL_ROW_ENUM(row, name, library, function, count) kDllRowNumber##name = row,
  FM_DLL_COMMANDS(FM_DLL_ROW_ENUM)
#undef FM_DLL_ROW_ENUM
  kDllRowCount
};

// Each row's constant has a type of its own, so that CallDllCommand knows the
// row at compile time; it still reads as the row number where one is needed.
template <DllRow Row>
struct DllRowId {
  constexpr operator DllRow() const { return Row; }  // NOLINT(google-explicit-constructor)
};

template <DllRow Row>
struct DllRowArgumentCount;

#define FM_DLL_ROW_ID(row, name, library, function, count)              \
  constexpr DllRowId<kDllRowNumber##name> kDllRow##name{};               \
  template <>                                                            \
  struct DllRowArgumentCount<kDllRowNumber##name> {                      \
    static constexpr size_t kValue = count;                              \
  };
FM_DLL_COMMANDS(FM_DLL_ROW_ID)
#undef FM_DLL_ROW_ID

// One row of a table: what to look up, and what the first successful lookup
// found. Each row keeps its own library reference, even when several rows
// name the same library.
struct DllCommandRow {
  const char* libraryFile;   // passed to the loader as written
  const char* functionName;  // an export name, or "#n" for ordinal n
  void* address;             // null until resolved
  void* library;             // the HMODULE the resolving load returned
};

// Marks every row of the program's table unresolved (as at start-up).
void PrepareDllCommandTable();

// The address of a row's function, looked up on the row's first use. When
// the library or the function cannot be found, the fatal report ends the
// program.
void* ResolveDllCommand(DllRow row);

// The same lookup over any table's row, with the directory searched first.
// ResolveDllCommand is this over the program's table and directory.
void* ResolveDllCommandRow(DllCommandRow& row, const char* programDirectory);

// Releases the libraries the rows loaded (one FreeLibrary per resolved row)
// and marks them unresolved again, so nothing can call into a released
// library.
void ReleaseDllCommandRows(DllCommandRow* rows, size_t count);
// The same for the program's own table; part of ShutDown.
void ReleaseDllCommandTable();

// --- Calling ---------------------------------------------------------------

// An argument becomes one word: integers and enumerations by value (signed
// ones sign-extended), pointers and arrays by address, a Text by the address of its
// bytes (valid for the duration of the call).
template <typename T>
inline DllWord ToDllWord(const T& value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<DllWord>(value);
  } else if constexpr (std::is_array_v<T>) {
    return reinterpret_cast<DllWord>(&value[0]);
  } else if constexpr (std::is_null_pointer_v<T>) {
    return 0;
  } else if constexpr (std::is_same_v<T, Text>) {
    return reinterpret_cast<DllWord>(value.Str());
  } else {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>,
                  "an argument of a library function is one word: an integer, a pointer or a Text");
    return static_cast<DllWord>(value);
  }
}

#if defined(__i386__)
// i686: every function of the table is __stdcall and removes its own
// arguments. The call goes through a small stub that notes the stack
// pointer, pushes the words last to first, calls, and compares; a function
// that removed more or fewer bytes than it was given ends the program with
// code 6. The stub restores the caller's frame either way.
DllWord CallStdcallChecked(void* function, const DllWord* words, size_t count);

template <size_t Count, typename... Words>
inline DllWord CallDllFunction(void* function, Words... words) {
  static_assert(sizeof...(Words) == Count, "wrong number of argument words");
  const DllWord list[Count + 1] = {words...};
  return CallStdcallChecked(function, list, Count);
}
#else
// x86_64: there is one calling convention and the caller removes the
// arguments, so a callee cannot unbalance the stack and there is nothing to
// check. Arguments and results are pointer-sized; a function whose result is
// a 32-bit BOOL or DWORD leaves the upper half of the word undefined.
namespace dll_table_detail {
template <size_t, typename T>
using Word = T;
template <typename Indices>
struct FunctionOf;
template <size_t... I>
struct FunctionOf<std::index_sequence<I...>> {
  using Type = DllWord (*)(Word<I, DllWord>...);
};
}  // namespace dll_table_detail

template <size_t Count>
using DllFunctionPointer = typename dll_table_detail::FunctionOf<std::make_index_sequence<Count>>::Type;

template <size_t Count, typename... Words>
inline DllWord CallDllFunction(void* function, Words... words) {
  static_assert(sizeof...(Words) == Count, "wrong number of argument words");
  return reinterpret_cast<DllFunctionPointer<Count>>(function)(words...);
}
#endif

// Calls a row of the program's table with exactly its arguments and gives
// back the function's result word unchanged.
template <DllRow Row, typename... Args>
inline DllWord CallDllCommand(DllRowId<Row>, const Args&... args) {
  static_assert(sizeof...(Args) == DllRowArgumentCount<Row>::kValue,
                "the row's line in FM_DLL_COMMANDS gives another argument count");
  void* function = ResolveDllCommand(Row);
  return CallDllFunction<sizeof...(Args)>(function, ToDllWord(args)...);
}
