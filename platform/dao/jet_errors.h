// Databank error numbers beyond those in platform/errors.h, with the engine's
// numbering, so that callers can tell them apart.
#pragma once

namespace pellary::dao::jet {
inline constexpr long NoTransaction = 3034;     // commit or rollback without BeginTrans
inline constexpr long DatabaseExists = 3204;    // create over an existing file
inline constexpr long CannotOpenFile = 3051;    // no permission, or held exclusively
inline constexpr long NoSuchTable = 3078;       // cannot find the input table or query
inline constexpr long TooFewParameters = 3061;  // a name in a statement that is no column
inline constexpr long UnknownName = 3070;       // a name in a filter or criteria that is no field
inline constexpr long NullNotAllowed = 3314;    // a required column left Null
inline constexpr long ValidationRule = 3317;    // a check constraint failed
inline constexpr long Locked = 3218;            // another process holds the databank
inline constexpr long DiskFull = 3026;
inline constexpr long DiskError = 3043;
inline constexpr long InvalidOperation = 3219;  // a recordset over a statement that returns no rows
}  // namespace pellary::dao::jet
