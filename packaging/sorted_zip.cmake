# Run by cpack once it has made the .zip: makes it again so that it is the same wherever and by
# whomever it is built. cpack takes files in the order the file system lists them (which differs
# even between two ext4 disks) and records the builder's user and group ids; here the files go
# in sorted by name, all stamped SOURCE_DATE_EPOCH (the DOS time field, in UTC), with no ids.
# Needs Info-ZIP's zip.
find_program(ZIP_PROGRAM zip REQUIRED)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  set(stage "${CPACK_TEMPORARY_DIRECTORY}")
  get_filename_component(top "${stage}" NAME)
  file(GLOB_RECURSE members LIST_DIRECTORIES false RELATIVE "${stage}/.." "${stage}/*")
  list(SORT members)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND touch -d "@$ENV{SOURCE_DATE_EPOCH}" ${members}
                    WORKING_DIRECTORY "${stage}/.." COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE "${zip}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC "${ZIP_PROGRAM}" -q -X -D "${zip}" ${members}
                  WORKING_DIRECTORY "${stage}/.." COMMAND_ERROR_IS_FATAL ANY)
endforeach()
