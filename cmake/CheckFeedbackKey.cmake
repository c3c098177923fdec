# The feedback key travels as the X-Api-Key header of every report: only visible ASCII
# (0x21..0x7E) makes a well-formed header, so anything else stops the configuration.
# Included by services/CMakeLists.txt; also runs on its own (cmake -DTERVANE3_FEEDBACK_API_KEY=... -P).
string(LENGTH "${TERVANE3_FEEDBACK_API_KEY}" tervane3_key_length)
if(tervane3_key_length EQUAL 0 OR NOT TERVANE3_FEEDBACK_API_KEY MATCHES "^[!-~]+$")
    message(FATAL_ERROR
        "TERVANE3_FEEDBACK_API_KEY may hold only visible ASCII characters (no blanks, line breaks "
        "or other control characters), because it is sent as an HTTP header with every feedback report.")
endif()
