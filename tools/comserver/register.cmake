# cmake -DEMULATOR=<wine runner;prefix> -DDLL=<unix path of virozi_sim.dll> -P register.cmake
# Registers the server as Windows sees it (Z:\ is the Unix root under Wine), then checks
# that the class is there.
string(REPLACE "/" "\\" windows_path "Z:${DLL}")
execute_process(COMMAND ${EMULATOR} regsvr32 /s "${windows_path}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 100)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "regsvr32 ${windows_path} failed (${rc}):\n${out}\n${err}")
endif()
execute_process(COMMAND ${EMULATOR} reg query
                "HKEY_CLASSES_ROOT\\CLSID\\{6F14EC5C-B289-4B3D-8351-44F0899062F7}\\InprocServer32"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 100)
string(FIND "${out}" "virozi_sim.dll" at)
if(NOT rc EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "the class is not registered after regsvr32 (${rc}):\n${out}\n${err}")
endif()
