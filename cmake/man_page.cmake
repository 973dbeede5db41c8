# The man page pelmo.1, made from docs/pelmo.1.in and the command itself.
#
#   cmake -DPELMO=<command> -DTEMPLATE=<pelmo.1.in> -DOUTPUT=<pelmo.1> [-D<NAME>=<value> ...]
#         -P man_page.cmake
# writes it: the synopsis is the usage lines of `pelmo --help` and the method list is
# `pelmo methods` with each summary line of `pelmo methods --text`, so neither can drift from the
# command; the template's other @NAME@ values
# (defaults, install directories) come from the -D options.
#
#   cmake -DPELMO=<command> -DPAGE=<pelmo.1> -P man_page.cmake
# checks what the page and the help share: every subcommand in the synopsis, every argument word
# and every environment variable the help names must be described in the page's own sections.

function(run_pelmo out)
  execute_process(COMMAND "${PELMO}" ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PELMO} ${ARGN} failed: ${status}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The text of the page's section NAME, up to the next section.
function(section out page name)
  string(FIND "${page}" "\n.SH ${name}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "the man page has no section ${name}")
  endif()
  string(SUBSTRING "${page}" ${start} -1 text)
  string(SUBSTRING "${text}" 1 -1 text)
  string(FIND "${text}" "\n.SH " end)
  if(NOT end EQUAL -1)
    string(SUBSTRING "${text}" 0 ${end} text)
  endif()
  set(${out} "${text}\n" PARENT_SCOPE)
endfunction()

run_pelmo(help --help)
# The usage lines: "usage: pelmo ..." and the lines under it that start with "pelmo".
string(REGEX MATCH "^usage: [^\n]*(\n +pelmo [^\n]*)*" usage "${help}")
if(usage STREQUAL "")
  message(FATAL_ERROR "pelmo --help shows no usage lines")
endif()
string(REGEX REPLACE "^usage: +" "" usage "${usage}")
string(REGEX REPLACE "\n +" "\n" usage "${usage}")
string(REPLACE "\n" ";" usage_lines "${usage}")

if(DEFINED PAGE)
  file(READ "${PAGE}" page)
  section(commands "${page}" COMMANDS)
  section(words "${page}" "ARGUMENT WORDS")
  section(environment "${page}" ENVIRONMENT)
  # Described means set in bold in an item's tag: ".B call", ".BR help ...", ".BI s: TEXT".
  set(missing "")
  foreach(line IN LISTS usage_lines)
    string(REGEX MATCH "^pelmo ([^ ]+)" _ "${line}")
    set(name "${CMAKE_MATCH_1}")
    string(REPLACE "-" "\\\\-" pattern "${name}")
    if(NOT commands MATCHES "\n\\.B[IR]? ([^\n]* )?\"?${pattern}[\" \n]")
      list(APPEND missing "subcommand ${name} (under COMMANDS)")
    endif()
  endforeach()
  string(REGEX MATCH "\nARG words:([^\n]*(\n [^\n]*)*)" _ "${help}")
  string(REGEX MATCHALL "[a-z]+(:[a-z]*)?" help_words "${CMAKE_MATCH_1}")
  foreach(word IN LISTS help_words)
    if(NOT words MATCHES "\n\\.B[IR]? ([^\n]* )?\"?${word}[\" \n]")
      list(APPEND missing "argument word ${word} (under ARGUMENT WORDS)")
    endif()
  endforeach()
  string(REGEX MATCHALL "PELMO_[A-Z_]+" variables "${help}")
  foreach(variable IN LISTS variables)
    if(NOT environment MATCHES "\n\\.B ${variable}\n")
      list(APPEND missing "${variable} (under ENVIRONMENT)")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing "\n  " missing)
    message(FATAL_ERROR "pelmo --help names what ${PAGE} does not describe:\n  ${missing}")
  endif()
  list(LENGTH usage_lines commands)
  list(LENGTH help_words words)
  list(LENGTH variables variables)
  message(STATUS "${PAGE} describes the ${commands} commands, ${words} argument words and "
                 "${variables} variables of pelmo --help")
  return()
endif()

# The synopsis, one command a line: names and options bold, placeholders italic. A remark in
# parentheses after a command is left to the COMMANDS section.
set(PELMO_SYNOPSIS "")
foreach(line IN LISTS usage_lines)
  string(REGEX REPLACE "  +\\(.*\\)$" "" line "${line}")
  string(REPLACE "\\" "\\e" line "${line}")
  string(REPLACE "-" "\\-" line "${line}")
  string(REGEX REPLACE "([A-Z]+)" "<<\\1>>" line "${line}")
  string(REGEX REPLACE "((\\\\-)*[a-z]+(\\\\-[a-z]+)*)" "{{\\1}}" line "${line}")
  string(REPLACE "<<" "\\fI" line "${line}")
  string(REPLACE "{{" "\\fB" line "${line}")
  string(REGEX REPLACE ">>|}}" "\\\\fR" line "${line}")
  string(APPEND PELMO_SYNOPSIS "${line}\n")
endforeach()
string(STRIP "${PELMO_SYNOPSIS}" PELMO_SYNOPSIS)

# The methods, one tagged paragraph each: the slot, then name(parameters) and the summary line,
# which `methods --text` gives on the line under name(parameters).
run_pelmo(methods methods)
run_pelmo(described methods --text)
string(STRIP "${methods}" methods)
string(REPLACE "\n" ";" methods "${methods}")
set(PELMO_METHODS "")
foreach(line IN LISTS methods)
  separate_arguments(fields UNIX_COMMAND "${line}")
  list(POP_FRONT fields slot name)
  list(TRANSFORM fields REPLACE "^(.+)$" "\\\\fI\\1\\\\fR")
  list(JOIN fields ", " params)
  if(NOT "\n${described}" MATCHES "\n *${slot} ${name}\\([^\n]*\n +([^\n]*)")
    message(FATAL_ERROR "pelmo methods --text gives no summary line for ${name}")
  endif()
  string(APPEND PELMO_METHODS ".TP 4\n${slot}\n\\fB${name}\\fR(${params})\n.br\n${CMAKE_MATCH_1}\n")
endforeach()
string(STRIP "${PELMO_METHODS}" PELMO_METHODS)

run_pelmo(version --version)
string(REGEX REPLACE "^pelmo ([^\n]*)\n?$" "\\1" PELMO_VERSION "${version}")

file(READ "${TEMPLATE}" template)
string(CONFIGURE "${template}" page @ONLY)
if(page MATCHES "@[A-Z_]+@")
  message(FATAL_ERROR "${TEMPLATE}: no value for ${CMAKE_MATCH_0}")
endif()
file(WRITE "${OUTPUT}" "${page}")
