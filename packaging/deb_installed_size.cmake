# Run by cpack once it has made the .deb: sets the package's Installed-Size from its files, the
# way Debian's dpkg-gencontrol does (each file's size in KiB, rounded up, and 1 for each folder
# or link), and packs it again with dpkg-deb. cpack adds up the sizes that the file system
# reports, folders included, and those differ between file systems (4 KiB a folder on ext4, a
# few bytes on tmpfs): the same files gave a different .deb on another disk.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  # umask 022: the modes come out as packed, whatever the builder's umask.
  execute_process(COMMAND sh -c "umask 022 && exec \"$0\" --raw-extract \"$1\" \"$2\""
                          "${DPKG_DEB}" "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${tree}" "${tree}/*")
  set(kib 0)
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^DEBIAN(/|$)")
      continue()
    endif()
    if(IS_SYMLINK "${tree}/${entry}" OR IS_DIRECTORY "${tree}/${entry}")
      math(EXPR kib "${kib} + 1")
    else()
      file(SIZE "${tree}/${entry}" bytes)
      math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
    endif()
  endforeach()
  file(READ "${tree}/DEBIAN/control" control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control "${control}")
  file(WRITE "${tree}/DEBIAN/control" "${control}")
  # Time stamps are clamped to SOURCE_DATE_EPOCH, which the project's cpack settings set.
  execute_process(COMMAND "${DPKG_DEB}" --root-owner-group -Zgzip --build "${tree}" "${deb}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
