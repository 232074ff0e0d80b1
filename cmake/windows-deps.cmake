# The libraries of the Windows build, from the sources scripts/build-windows
# fetched: the same target names as the Linux build's packages, so that the
# rest of the build does not tell the two apart.
set(CORVANNE_WINDOWS_DEPS "" CACHE PATH "Folder with sqlite/, uchardet/ and include/xxhash.h")
if(NOT EXISTS "${CORVANNE_WINDOWS_DEPS}/sqlite/sqlite3.c")
  message(FATAL_ERROR "CORVANNE_WINDOWS_DEPS (${CORVANNE_WINDOWS_DEPS}) holds no sqlite/sqlite3.c: run scripts/build-windows")
endif()

add_library(corvanne_sqlite3 STATIC ${CORVANNE_WINDOWS_DEPS}/sqlite/sqlite3.c)
target_include_directories(corvanne_sqlite3 SYSTEM PUBLIC ${CORVANNE_WINDOWS_DEPS}/sqlite)
target_compile_definitions(corvanne_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_DQS=0 SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(corvanne_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS corvanne_sqlite3)

file(GLOB _uchardet_sources ${CORVANNE_WINDOWS_DEPS}/uchardet/src/*.cpp
     ${CORVANNE_WINDOWS_DEPS}/uchardet/src/LangModels/*.cpp)
list(FILTER _uchardet_sources EXCLUDE REGEX ".*/tools/.*")
add_library(corvanne_uchardet STATIC ${_uchardet_sources})
target_include_directories(corvanne_uchardet SYSTEM PUBLIC ${CORVANNE_WINDOWS_DEPS}/uchardet/src)
target_compile_options(corvanne_uchardet PRIVATE -w)
add_library(PkgConfig::UCHARDET ALIAS corvanne_uchardet)

add_library(corvanne_xxhash INTERFACE)
target_include_directories(corvanne_xxhash SYSTEM INTERFACE ${CORVANNE_WINDOWS_DEPS}/include)
target_compile_definitions(corvanne_xxhash INTERFACE XXH_INLINE_ALL)
add_library(PkgConfig::XXHASH ALIAS corvanne_xxhash)

# MultiByteToWideChar and the wide file API live in kernel32, which every
# program links; nothing more to name.
set(CORVANNE_DECODER_LIBRARY "")
