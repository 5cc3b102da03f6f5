# cmake -DEMULATOR=<wine runner;prefix> -DDLL=<unix path of the server> -DCLASSID={...} -P register.cmake
# Registers the server as Windows sees it (Z:\ is the Unix root under Wine), then checks
# that the class is there.
string(REPLACE "/" "\\" windows_path "Z:${DLL}")
execute_process(COMMAND ${EMULATOR} regsvr32 /s "${windows_path}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 100)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "regsvr32 ${windows_path} failed (${rc}):\n${out}\n${err}")
endif()
execute_process(COMMAND ${EMULATOR} reg query
                "HKEY_CLASSES_ROOT\\CLSID\\${CLASSID}\\InprocServer32"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 100)
get_filename_component(name "${DLL}" NAME)
string(FIND "${out}" "${name}" at)
if(NOT rc EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "the class is not registered after regsvr32 (${rc}):\n${out}\n${err}")
endif()
