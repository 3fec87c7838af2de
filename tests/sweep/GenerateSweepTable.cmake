# Reads the public header and writes the sweep's table of exported functions: for
# each declared function its name, its result kind, the kind and name of every
# parameter, and a thunk that calls it with arguments taken from a SweepArgs. Run at
# build time:
#   cmake -DHEADER=<OrvixSdk_K62DT4.h> -DOUTPUT=<sweep_table.inc> -P GenerateSweepTable.cmake
# A parameter type the sweep has no hostile values for stops the build, so a new
# kind of argument cannot slip past it.
foreach(var HEADER OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "GenerateSweepTable: ${var} is not set")
  endif()
endforeach()
file(READ "${HEADER}" text)
# Block comments may contain parentheses; the declarations are outside them.
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" code "${text}")

string(REGEX MATCHALL "ORVIX_API[ \t\r\n]+[A-Za-z_]+[ \t\r\n]+ORVIX_CALL[ \t\r\n]+Orvix_[A-Za-z0-9_]+[ \t\r\n]*\\([^)]*\\)"
       declarations "${code}")
list(LENGTH declarations count)
if(count EQUAL 0)
  message(FATAL_ERROR "GenerateSweepTable: no declarations found in ${HEADER}")
endif()

set(rows "")
foreach(d IN LISTS declarations)
  string(REGEX REPLACE "[ \t\r\n]+" " " d "${d}")
  string(REGEX REPLACE "^ORVIX_API ([A-Za-z_]+) ORVIX_CALL (Orvix_[A-Za-z0-9_]+) ?\\((.*)\\)$" "\\1;\\2;\\3" parts "${d}")
  list(GET parts 0 result)
  list(GET parts 1 name)
  list(LENGTH parts part_count)
  set(params "")
  if(part_count GREATER 2)
    list(GET parts 2 params)
  endif()
  string(STRIP "${params}" params)

  if(result STREQUAL "int")
    set(result_kind "SweepResult::Int")
  elseif(result STREQUAL "ORVIX_HANDLE")
    set(result_kind "SweepResult::Handle")
  else()
    message(FATAL_ERROR "GenerateSweepTable: ${name} returns ${result}, which the sweep cannot judge")
  endif()

  set(kinds "")
  set(arguments "")
  set(index 0)
  if(NOT params STREQUAL "" AND NOT params STREQUAL "void")
    string(REPLACE "," ";" param_list "${params}")
    foreach(p IN LISTS param_list)
      string(STRIP "${p}" p)
      string(REGEX REPLACE " *\\* *" "* " p "${p}")
      if(NOT p MATCHES "^(const )?([A-Za-z_]+)(\\*)? ([A-Za-z_][A-Za-z0-9_]*)$")
        message(FATAL_ERROR "GenerateSweepTable: cannot read parameter '${p}' of ${name}")
      endif()
      set(type "${CMAKE_MATCH_1}${CMAKE_MATCH_2}${CMAKE_MATCH_3}")
      set(pname "${CMAKE_MATCH_4}")
      if(type STREQUAL "ORVIX_HANDLE")
        set(kind Handle)
        set(access "args.handle(${index})")
      elseif(type STREQUAL "int")
        set(kind Int)
        set(access "args.integer(${index})")
      elseif(type STREQUAL "ORVIX_WINDOW")
        set(kind Window)
        set(access "args.window(${index})")
      elseif(type STREQUAL "int*")
        set(kind IntPointer)
        set(access "args.intPointer(${index})")
      elseif(type STREQUAL "void*")
        set(kind Buffer)
        set(access "args.buffer(${index})")
      elseif(type STREQUAL "char*")
        set(kind CharBuffer)
        set(access "args.chars(${index})")
      elseif(type STREQUAL "const char*")
        set(kind Text)
        set(access "args.text(${index})")
      elseif(type STREQUAL "CameraInfo*")
        set(kind CameraInfoPointer)
        set(access "args.cameraInfo(${index})")
      else()
        message(FATAL_ERROR "GenerateSweepTable: the sweep has no hostile values for '${type}' (${name}, "
                            "parameter ${pname}); add them to tests/sweep")
      endif()
      string(APPEND kinds "{SweepParam::${kind}, \"${pname}\"}, ")
      if(index GREATER 0)
        string(APPEND arguments ", ")
      endif()
      string(APPEND arguments "${access}")
      math(EXPR index "${index} + 1")
    endforeach()
  endif()

  if(result STREQUAL "ORVIX_HANDLE")
    set(call "return sweepHandleValue(${name}(${arguments}));")
  else()
    set(call "return ${name}(${arguments});")
  endif()
  string(APPEND rows "    {\"${name}\", ${result_kind}, {${kinds}},\n     [](const SweepArgs& args) -> std::int64_t { (void)args; ${call} }},\n")
endforeach()

# The functions that return -1 for an unknown handle, as the header's introduction
# names them.
string(REGEX MATCH "-1 for([^)]*)\\)" minus_one "${text}")
string(REGEX MATCHALL "Orvix_[A-Za-z0-9_]+" minus_one_names "${CMAKE_MATCH_1}")
set(minus_one_rows "")
foreach(n IN LISTS minus_one_names)
  string(APPEND minus_one_rows "    \"${n}\",\n")
endforeach()

file(WRITE "${OUTPUT}.tmp" "// Generated from OrvixSdk_K62DT4.h by tests/sweep/GenerateSweepTable.cmake; do not edit.
// ${count} exported functions.
const SweepExport kSweepExports[] = {
${rows}};

// Functions that return -1, not 0, for an unknown handle.
const char* const kMinusOneForUnknownHandle[] = {
${minus_one_rows}};
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
