# Runs velo-pos as a POS integrator does and checks what it prints and its exit codes.
#   cmake -DPOS=... [-DEMULATOR=...] -DTESTLIB=<file name> -DWORK=<scratch folder> -DMODE=demo|runs
#         -P check-velo-pos.cmake
# demo: the shop day against the product library. runs: chains, raw requests, the shell
# and the exit codes, against the library variant with the test driver.
get_filename_component(dir "${POS}" DIRECTORY)
set(failures "")
file(MAKE_DIRECTORY "${WORK}")

# Runs velo-pos from its own folder (Windows programs under Wine see it as their current
# folder too, so file names stay relative). Sets out, err and rc.
function(pos)
  cmake_parse_arguments(P "" "INPUT" "" ${ARGN})
  set(input_args "")
  if(P_INPUT)
    file(WRITE "${WORK}/pos-input.txt" "${P_INPUT}")
    set(input_args INPUT_FILE "${WORK}/pos-input.txt")
  endif()
  execute_process(COMMAND ${EMULATOR} "${POS}" ${P_UNPARSED_ARGUMENTS}
                  WORKING_DIRECTORY "${dir}" ${input_args}
                  RESULT_VARIABLE result OUTPUT_FILE "${WORK}/pos-output.txt" ERROR_VARIABLE errors TIMEOUT 240)
  file(READ "${WORK}/pos-output.txt" output)
  # Only as hexadecimal text do the carriage returns survive.
  file(READ "${WORK}/pos-output.txt" output_hex HEX)
  set(out "${output}" PARENT_SCOPE)
  set(out_hex "${output_hex}" PARENT_SCOPE)
  set(err "${errors}" PARENT_SCOPE)
  set(rc "${result}" PARENT_SCOPE)
endfunction()

macro(fail what)
  string(APPEND failures "\n--- ${what}\n")
endmacro()

macro(expect_rc expected what)
  if(NOT "${rc}" STREQUAL "${expected}")
    fail("${what}: exit code ${rc}, expected ${expected}\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endmacro()

macro(expect_out text what)
  string(FIND "${out}" "${text}" at)
  if(at EQUAL -1)
    fail("${what}: the output lacks '${text}':\n${out}\nstderr:\n${err}")
  endif()
endmacro()

# The device log named on a "Device log: " line, as a path of this system.
macro(device_log var)
  string(REGEX MATCH "Device log: ([^\r\n]+)" line "${out}")
  set(${var} "${CMAKE_MATCH_1}")
  if(${var} MATCHES "^[A-Za-z]:\\\\")
    string(REGEX REPLACE "^[A-Za-z]:" "" ${var} "${${var}}")
    string(REPLACE "\\" "/" ${var} "${${var}}")
  endif()
endmacro()

if(MODE STREQUAL "demo")
  # A log id of its own, its old logs removed, so the log checked is this run's.
  file(GLOB old "${dir}/LogFiles/Payment/VELO_VIROZI_10_posdemocheck_*.log")
  if(old)
    file(REMOVE ${old})
  endif()
  pos(--log-id posdemocheck demo)
  expect_rc(0 "velo-pos demo")
  set(titles
    "Driver version"
    "Open the payment device"
    "Card payment of 12.50 EUR"
    "Card payment of 23.40 EUR (the card asks for a signature)"
    "Wallet payment of 8.90 EUR with Satispay"
    "Card payment of 7.13 EUR, declined by the terminal"
    "Health-service payment of 25.60 EUR"
    "Meal vouchers in one step, 16.00 EUR"
    "Coupon ticket: begin"
    "Coupon ticket: first coupon (8.00, needs a commit)"
    "Coupon ticket: second coupon (5.29)"
    "Coupon ticket: commit"
    "Second coupon ticket: begin"
    "Second coupon ticket: a coupon (7.00)"
    "Second coupon ticket: rolled back, the customer pays otherwise"
    "Totals of the day"
    "Day close"
    "Close the payment device"
    "Open a device without a Connection element (OPOS fiscal printer control)"
    "Close that device")
  set(n 0)
  foreach(title IN LISTS titles)
    math(EXPR n "${n} + 1")
    expect_out("[${n}] ${title}\n" "demo step ${n}")
  endforeach()
  expect_out("PAY FAILED (result -1)" "the declined payment")
  expect_out("- as expected" "the declined payment")
  expect_out("each as expected." "the demo's summary")
  expect_out("Device log: " "the device log line")
  device_log(log)
  if(NOT EXISTS "${log}")
    fail("the device log '${log}' does not exist:\n${out}")
  else()
    file(READ "${log}" text)
    foreach(caption "fVirPay.Pagamento" "fVirPay.PagamentoADV" "fVirPay.PaymentCeliachia" "fVirPay.PaymentBPE"
                    "fVirPay.OpenTicketBC" "fVirPay.DematerializzazioneBP" "fVirPay.CommitTransactionDBP"
                    "fVirPay.ReverseTransactionDBP" "fVirPay.CloseTicketBC" "fVirPay.GetTotaliHost"
                    "fVirPay.Chiusura")
      string(FIND "${text}" "${caption}" at)
      if(at EQUAL -1)
        fail("the device log ${log} has no '${caption}'")
      endif()
    endforeach()
  endif()

  # The example day with its expectations, against the simulated terminal.
  file(COPY "${SCENARIO}" DESTINATION "${dir}")
  get_filename_component(scenario "${SCENARIO}" NAME)
  pos(--log-id posdemocheck run ${scenario})
  expect_rc(0 "velo-pos run ${scenario}")
  expect_out("    expect TotalAmount 17.5: yes\n" "velo-pos run ${scenario}")
  expect_out("    expect error \"Invalid Attribute [paypal]\": yes\n" "velo-pos run ${scenario}")
  file(REMOVE "${dir}/${scenario}")
elseif(MODE STREQUAL "runs")
  # Log ids of their own, so earlier runs' logs do not count.
  string(RANDOM LENGTH 8 ALPHABET "abcdefghijklmnopqrstuvwxyz" id)
  set(lib "--library" "${TESTLIB}")
  set(device ${lib} --driver VELO_TEST_DRIVER --log-id ${id})

  # A chain: the handle from open serves the payment and the close.
  pos(${device} open pay --amount 5 --reference "R 1" close)
  expect_rc(0 "open pay close")
  expect_out("[1] open\n    OPEN ok in " "open pay close")
  expect_out("    Handle                  1\n" "open pay close")
  expect_out("[2] pay --amount 5 --reference 'R 1'\n    PAY ok in " "open pay close")
  expect_out("    DeviceId                R 1\n" "open pay close")
  expect_out("[3] close\n    CLOSE ok in " "open pay close")
  string(ASCII 27 esc)
  string(FIND "${out}" "${esc}[" escape)
  if(NOT escape EQUAL -1)
    fail("colours in output that is no terminal:\n${out}")
  endif()
  device_log(log)
  if(NOT EXISTS "${log}")
    fail("the device log '${log}' does not exist:\n${out}")
  else()
    file(READ "${log}" text)
    string(FIND "${text}" "TestDriver.DoPay:R 1" at)
    if(at EQUAL -1)
      fail("the device log ${log} lacks the payment:\n${text}")
    endif()
    file(REMOVE "${log}")
  endif()

  # The exit code follows the last operation.
  pos(${device} status close)
  expect_rc(1 "status close")
  expect_out("ErrorText               Payment Device has not previously opened" "status close")
  pos(${device} close status)
  expect_rc(0 "close status")
  pos(${lib} version --driver VELO_TEST_DRIVER)
  expect_rc(0 "version of a registered driver")
  pos(${lib} version --driver NOT_THERE)
  expect_rc(1 "version of a driver that is not there")

  # Raw requests: the answer exactly, CR LF included.
  # Beside the program, so that the name is the same for Windows programs.
  file(WRITE "${dir}/velo-pos-check-${id}.xml"
       "<Request><Driver>VELO_TEST_DRIVER</Driver><LogId>${id}</LogId><Connection><Type>COM</Type></Connection></Request>")
  pos(${lib} raw OPEN velo-pos-check-${id}.xml)
  file(REMOVE "${dir}/velo-pos-check-${id}.xml")
  expect_rc(0 "raw OPEN")
  set(got "${out_hex}")
  string(HEX "result: 0\n<Handle>1</Handle>\r\n<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName></LogFileName>\nerror: \n" want)
  if(NOT got STREQUAL want)
    fail("raw OPEN printed\n${out}\n(hex ${got}), expected hex ${want}")
  endif()
  pos(${lib} raw PAY INPUT "<Request><Driver>VELO_TEST_DRIVER</Driver><LogId>${id}</LogId></Request>")
  expect_rc(1 "raw PAY from standard input")
  expect_out("result: -1\n" "raw PAY from standard input")
  expect_out("\nerror: Payment/Reprint/VerifyTran node not found\n" "raw PAY from standard input")

  # The shell, fed from a file: one device across the lines, comments skipped.
  pos(${device} shell INPUT "# a session\nopen\npay --amount 1 --reference S1  # one euro\nclose\n")
  expect_rc(0 "shell")
  expect_out("[2] pay --amount 1 --reference S1\n    PAY ok" "shell")
  expect_out("[3] close\n    CLOSE ok" "shell")
  device_log(log)
  if(EXISTS "${log}")
    file(REMOVE "${log}")
  endif()
  # A script stops at the first line that cannot run: the close after it never runs.
  pos(${device} shell INPUT "open\npay --amont 5\nclose\n")
  expect_rc(2 "a script with a bad line")
  string(FIND "${err}" "velo-pos: line 2: unknown flag --amont" at)
  if(at EQUAL -1)
    fail("shell: no complaint about line 2 on stderr:\n${err}")
  endif()
  string(FIND "${out}" "close" at)
  if(NOT at EQUAL -1)
    fail("shell: the close after the bad line ran:\n${out}")
  endif()

  # At a terminal (a pseudo-terminal from script(1)) the shell edits its lines: the Up
  # arrow brings the last line back, and the history is kept in the home folder.
  find_program(SCRIPT_PROGRAM script)
  if(EDITLINE AND NOT EMULATOR AND SCRIPT_PROGRAM)
    string(ASCII 27 esc)
    file(WRITE "${WORK}/tty-input.txt" "status\n${esc}[A\nquit\n")
    file(REMOVE "${WORK}/.velo-pos_history")
    execute_process(COMMAND env "HOME=${WORK}" "${SCRIPT_PROGRAM}" -qec "'${POS}' --no-color --library '${TESTLIB}' shell"
                            /dev/null
                    WORKING_DIRECTORY "${dir}" INPUT_FILE "${WORK}/tty-input.txt"
                    RESULT_VARIABLE tty_rc OUTPUT_VARIABLE tty_out ERROR_VARIABLE tty_err TIMEOUT 60)
    string(REGEX MATCHALL "GETSTATUS ok" runs "${tty_out}")
    list(LENGTH runs run_count)
    if(NOT tty_rc EQUAL 0 OR NOT run_count EQUAL 2)
      fail("shell at a terminal: exit ${tty_rc}, 'status' ran ${run_count} times, expected twice (Up, Enter):\n${tty_out}\n${tty_err}")
    endif()
    if(NOT EXISTS "${WORK}/.velo-pos_history")
      fail("shell at a terminal: no history file in the home folder")
    endif()
    # A raw request typed at the terminal: velo-pos says how to end it.
    string(ASCII 4 end_of_input)
    file(WRITE "${WORK}/tty-input.txt" "<Request><Driver>VELO_TEST_DRIVER</Driver><LogId>${id}</LogId></Request>\n${end_of_input}")
    execute_process(COMMAND "${SCRIPT_PROGRAM}" -qec "'${POS}' --library '${TESTLIB}' raw GETSTATUS" /dev/null
                    WORKING_DIRECTORY "${dir}" INPUT_FILE "${WORK}/tty-input.txt"
                    RESULT_VARIABLE tty_rc OUTPUT_VARIABLE tty_out ERROR_VARIABLE tty_err TIMEOUT 60)
    string(FIND "${tty_out}" "velo-pos: reading the request document from the terminal; end it with Ctrl-D" hint)
    string(FIND "${tty_out}" "result: 0" answered)
    if(NOT tty_rc EQUAL 0 OR hint EQUAL -1 OR answered EQUAL -1)
      fail("raw at a terminal: exit ${tty_rc}, no hint or no answer:\n${tty_out}\n${tty_err}")
    endif()
  endif()

  # run FILE with expectations (the test driver answers the reference as DeviceId).
  file(WRITE "${dir}/velo-pos-script-${id}.txt"
       "open\npay --amount 5 --reference R7   # paid\nexpect ok\nexpect DeviceId R7\nclose\n")
  pos(${device} run velo-pos-script-${id}.txt)
  expect_rc(0 "run with expectations that hold")
  expect_out("    expect DeviceId R7: yes\n" "run with expectations that hold")
  file(WRITE "${dir}/velo-pos-script-${id}.txt" "open\npay --reference R7\nexpect DeviceId R8\nclose\n")
  pos(${device} run velo-pos-script-${id}.txt)
  expect_rc(1 "run with an expectation that does not hold")
  string(FIND "${err}" "velo-pos: line 3: expected DeviceId R8, but DeviceId is \"R7\"" at)
  if(at EQUAL -1)
    fail("run: no complaint about the expectation of line 3 on stderr:\n${err}")
  endif()
  file(REMOVE "${dir}/velo-pos-script-${id}.txt")
  pos(${device} run no-such-script-${id}.txt)
  expect_rc(2 "run without its script")

  # JSON: one object per step.
  pos(${device} --json open close)
  expect_rc(0 "--json")
  expect_out("{\"step\":1,\"operation\":\"open\",\"export\":\"OPEN\",\"result\":0,\"ok\":true," "--json")
  expect_out("\"answer\":{\"Handle\":\"1\",\"Error\":\"False\"" "--json")
  expect_out("{\"step\":2,\"operation\":\"close\",\"export\":\"CLOSE\"" "--json")
  string(FIND "${out}" "Device log" at)
  if(NOT at EQUAL -1)
    fail("--json: a line that is no JSON:\n${out}")
  endif()

  # An export the library does not have is a command that cannot run, not a missing library.
  file(WRITE "${dir}/velo-pos-check-${id}.xml" "<Request/>")
  pos(${lib} raw FOO velo-pos-check-${id}.xml)
  file(REMOVE "${dir}/velo-pos-check-${id}.xml")
  expect_rc(2 "raw FOO")
  string(FIND "${err}" "velo-pos: the library has no export FOO" at)
  if(at EQUAL -1)
    fail("raw FOO: no complaint about the export on stderr:\n${err}")
  endif()

  # Command lines that cannot run, and a library that is not there.
  pos(${device} bogus)
  expect_rc(2 "an unknown operation")
  string(FIND "${err}" "velo-pos: unknown operation 'bogus'" at)
  if(at EQUAL -1)
    fail("no complaint about 'bogus' on stderr:\n${err}")
  endif()
  pos(--library no-such-library-${id} status)
  expect_rc(3 "a library that is not there")
  pos(--help)
  expect_rc(0 "--help")
  expect_out("Usage:" "--help")
  pos(--version)
  expect_rc(0 "--version")
  expect_out("velo-pos, the command-line POS of the VELO_VIROZI_10 payment library\n" "--version")
  expect_out("VELO_VIROZI_10: Version " "--version")

  file(GLOB logs "${dir}/LogFiles/Payment/VELO_TEST_DRIVER_${id}_*.log")
  if(logs)
    file(REMOVE ${logs})
  endif()
else()
  message(FATAL_ERROR "MODE must be demo or runs")
endif()

if(failures)
  message(FATAL_ERROR "velo-pos ${MODE}:${failures}")
endif()
message(STATUS "velo-pos ${MODE}: all as expected")
