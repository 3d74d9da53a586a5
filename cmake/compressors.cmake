# The tool's compressors, which write the zlib format the program's inflate
# reads: libdeflate (dk_libdeflate) and, for pack --best, zopfli
# (dk_zopfli). The program never links them.
#
# The host builds link Debian's libdeflate-dev and libzopfli-dev, their
# static libraries, so that the tool needs no shared library more. The cross
# builds compile both from the sources of the same Debian packages, which
# scripts/setup.sh fetches: MinGW has neither library, and libzopfli-dev is
# not multiarch, so its i386 package can't stand beside the amd64 one.
if(CMAKE_CROSSCOMPILING)
  set(DK_LIBDEFLATE_SOURCE_DIR ${CMAKE_SOURCE_DIR}/build/third_party/libdeflate
      CACHE PATH "libdeflate sources")
  set(DK_ZOPFLI_SOURCE_DIR ${CMAKE_SOURCE_DIR}/build/third_party/zopfli
      CACHE PATH "zopfli sources")
  foreach(source ${DK_LIBDEFLATE_SOURCE_DIR}/lib/deflate_compress.c
                 ${DK_ZOPFLI_SOURCE_DIR}/src/zopfli/zopfli_lib.c)
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "${source} not found: run scripts/setup.sh (it fetches libdeflate "
                          "and zopfli into build/third_party), or point DK_LIBDEFLATE_SOURCE_DIR "
                          "and DK_ZOPFLI_SOURCE_DIR at them")
    endif()
  endforeach()
  # The compressor and its zlib wrapper: no decompressor, no gzip, no
  # CRC-32. Its Adler-32 is zlib's, which the tool links for inflate anyway
  # (package/deflate_adler32.c): libdeflate's own picks its loop through
  # CPUID, an instruction the 386 the Windows builds target lacks.
  add_library(dk_libdeflate STATIC
    ${DK_LIBDEFLATE_SOURCE_DIR}/lib/deflate_compress.c
    ${DK_LIBDEFLATE_SOURCE_DIR}/lib/zlib_compress.c
    ${DK_LIBDEFLATE_SOURCE_DIR}/lib/utils.c
    ${CMAKE_SOURCE_DIR}/package/deflate_adler32.c)
  target_include_directories(dk_libdeflate SYSTEM PUBLIC ${DK_LIBDEFLATE_SOURCE_DIR})
  target_link_libraries(dk_libdeflate PRIVATE dk_zlib)
  set(DK_ZOPFLI_SOURCES blocksplitter.c cache.c deflate.c gzip_container.c hash.c katajainen.c
      lz77.c squeeze.c tree.c util.c zlib_container.c zopfli_lib.c)
  list(TRANSFORM DK_ZOPFLI_SOURCES PREPEND ${DK_ZOPFLI_SOURCE_DIR}/src/zopfli/)
  add_library(dk_zopfli STATIC ${DK_ZOPFLI_SOURCES})
  target_include_directories(dk_zopfli SYSTEM PUBLIC ${DK_ZOPFLI_SOURCE_DIR}/src/zopfli)
  # zopfli keeps frames of up to 16 KB (squeeze.c), over the program's
  # limit and past the stack's guard page: they get the stack probes that
  # the 32-bit program leaves out.
  if(WIN32)
    target_compile_options(dk_zopfli PRIVATE -mstack-arg-probe -maccumulate-outgoing-args
                           -Wno-frame-larger-than)
  else()
    target_link_libraries(dk_zopfli PUBLIC m)
  endif()
else()
  find_path(DK_LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  find_library(DK_LIBDEFLATE_LIBRARY NAMES libdeflate.a deflate REQUIRED)
  find_path(DK_ZOPFLI_INCLUDE_DIR zopfli.h PATH_SUFFIXES zopfli REQUIRED)
  find_library(DK_ZOPFLI_LIBRARY NAMES libzopfli.a zopfli REQUIRED)
  add_library(dk_libdeflate INTERFACE)
  target_include_directories(dk_libdeflate SYSTEM INTERFACE ${DK_LIBDEFLATE_INCLUDE_DIR})
  target_link_libraries(dk_libdeflate INTERFACE ${DK_LIBDEFLATE_LIBRARY})
  add_library(dk_zopfli INTERFACE)
  target_include_directories(dk_zopfli SYSTEM INTERFACE ${DK_ZOPFLI_INCLUDE_DIR})
  target_link_libraries(dk_zopfli INTERFACE ${DK_ZOPFLI_LIBRARY} m)
endif()
