# Writes the page as one file: PAGE (index.html) with each of its
# <script src="NAME.js"> elements replaced by the script NAME.js of the
# folder SCRIPTS inlined, into OUTPUT, through a temporary file beside it.
#
#   cmake -DPAGE=index.html -DSCRIPTS=DIR -DOUTPUT=flyover.html -P one_file.cmake
foreach(variable PAGE SCRIPTS OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "one_file.cmake: -D${variable}=... is missing")
  endif()
endforeach()

file(READ ${PAGE} page)
foreach(name flyover mkmaps)
  set(element "<script src=\"${name}.js\"></script>")
  string(FIND "${page}" "${element}" at)
  if(at LESS 0)
    message(FATAL_ERROR "one_file.cmake: ${PAGE} has no ${element}")
  endif()
  file(READ ${SCRIPTS}/${name}.js script)
  # The script ends at the first "</script" inside it, whatever the
  # JavaScript around it means.
  string(TOLOWER "${script}" lower)
  string(FIND "${lower}" "</script" closing)
  if(NOT closing LESS 0)
    message(FATAL_ERROR "one_file.cmake: ${SCRIPTS}/${name}.js contains \"</script\" and cannot be inlined")
  endif()
  string(REPLACE "${element}" "<script>\n${script}\n</script>" page "${page}")
endforeach()

string(RANDOM LENGTH 8 suffix)
get_filename_component(directory ${OUTPUT} DIRECTORY)
get_filename_component(base ${OUTPUT} NAME)
set(temporary ${directory}/.${base}.${suffix})
file(WRITE ${temporary} "${page}")
file(RENAME ${temporary} ${OUTPUT})
