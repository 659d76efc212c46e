# cmake -DSOURCE=<tools folder> -DTARGET=<bundle's tools folder> -P copy_tooling.cmake
# Copies the stand-in tools folder into the bundle without the state of a run (var/) or compiled
# files: the demo that scripts/run keeps in the bundle's var/ is the person's, and a build, whatever
# ran against the checkout's own folder, never replaces it.
file(GLOB entries LIST_DIRECTORIES true RELATIVE "${SOURCE}" "${SOURCE}/*" "${SOURCE}/.*")
foreach(entry IN LISTS entries)
  if(entry STREQUAL "var" OR entry STREQUAL "__pycache__" OR entry STREQUAL "." OR entry STREQUAL "..")
    continue()
  endif()
  file(COPY "${SOURCE}/${entry}" DESTINATION "${TARGET}" PATTERN "__pycache__" EXCLUDE PATTERN "*.pyc" EXCLUDE)
endforeach()
