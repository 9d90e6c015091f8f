# Removes what `cmake --install` put in place: every file install_manifest.txt lists, then
# the folders Kellix has to itself (those named kellix and the folders in them) once they
# are empty. Folders shared with other programs (bin/, share/applications, the icon theme) stay.
# The manifest names the files without DESTDIR: a staged install is removed with the same
# DESTDIR in the environment.
# Usage: [DESTDIR=...] cmake -DMANIFEST=build/release/install_manifest.txt -P packaging/uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "No install manifest \"${MANIFEST}\": nothing was installed from this build")
endif()
file(STRINGS "${MANIFEST}" installed)
set(folders "")
foreach(path IN LISTS installed)
  set(file "$ENV{DESTDIR}${path}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
  # Every folder from the file's own up to the nearest one named kellix, when there is one.
  get_filename_component(folder "${file}" DIRECTORY)
  set(chain "")
  while(NOT folder STREQUAL "/" AND NOT folder STREQUAL "")
    list(APPEND chain "${folder}")
    get_filename_component(name "${folder}" NAME)
    if(name STREQUAL "kellix")
      list(APPEND folders ${chain})
      break()
    endif()
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
# Deepest first, so that a folder is empty once the folders below it are gone.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  file(GLOB left "${folder}/*" "${folder}/.*")
  if(IS_DIRECTORY "${folder}" AND NOT left)
    message(STATUS "Removing ${folder}/")
    file(REMOVE_RECURSE "${folder}")
  endif()
endforeach()
