# Every unlink, rmdir and rename over a name that corvane-copy makes goes
# through its Guard (src/copy/Guard.cpp), so that a new way to delete cannot
# forget the checks the others make: no other file of src/copy may call them.
# Run by CTest as: cmake -DCOPY_SOURCES=<src/copy> -P OnlyGuardDestroys.cmake
file(GLOB sources "${COPY_SOURCES}/*.cpp" "${COPY_SOURCES}/*.h")
set(found "")
foreach(path IN LISTS sources)
  get_filename_component(name "${path}" NAME)
  if(name STREQUAL "Guard.cpp")
    continue()
  endif()
  file(STRINGS "${path}" lines REGEX
       "(^|[^A-Za-z0-9_])(unlink|unlinkat|rmdir|rename|renameat|renameat2|remove|remove_all)[ \t]*\\(|SYS_(unlink|rmdir|rename)")
  foreach(line IN LISTS lines)
    # std::remove and std::remove_if reorder a container; they delete nothing.
    if(line MATCHES "std::remove(_if)?[ \t]*\\(" AND NOT line MATCHES "filesystem::remove")
      continue()
    endif()
    string(APPEND found "\n  ${name}: ${line}")
  endforeach()
endforeach()
if(sources STREQUAL "")
  message(FATAL_ERROR "no sources under ${COPY_SOURCES}")
endif()
if(found)
  message(FATAL_ERROR "calls that delete or rename outside the Guard:${found}")
endif()
