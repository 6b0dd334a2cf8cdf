# Where the program fetches its remote configuration, and which certificates it trusts for it.
# A development build (the default) talks to `parlivo-config serve` on loopback and trusts the
# certificate authority generated into the build tree; a packaged build names the real hosts and
# trusts only the system's store.
option(PARLIVO_PACKAGED "Build for packaging: real configuration hosts, system certificates only" OFF)
# Only a development build lets its environment point it elsewhere (the configuration hosts, the
# tests' time scale: platform::ProcessInfo::developmentEnvironment); a packaged one ignores it.
if(NOT PARLIVO_PACKAGED)
    add_compile_definitions(PARLIVO_DEVELOPMENT_BUILD=1)
endif()
set(PARLIVO_DEV_CONFIG_PORT 47443 CACHE STRING "Port of the loopback configuration server of a development build")
set(PARLIVO_DEV_TLS_DIR ${CMAKE_BINARY_DIR}/config-tls)

if(PARLIVO_PACKAGED)
    set(_host1 "config.vantreo.net")
    set(_host2 "config2.vantreo.net")
    set(_ca "")
    set(_server_cert "")
else()
    set(_host1 "127.0.0.1:${PARLIVO_DEV_CONFIG_PORT}")
    set(_host2 "localhost:${PARLIVO_DEV_CONFIG_PORT}")
    set(_ca "${PARLIVO_DEV_TLS_DIR}/ca.pem")
    set(_server_cert "${PARLIVO_DEV_TLS_DIR}/server.pem")
endif()
set(PARLIVO_CONFIG_HOST  "${_host1}" CACHE STRING "Host[:port] of the first configuration server")
set(PARLIVO_CONFIG_HOST2 "${_host2}" CACHE STRING "Host[:port] of the second configuration server (-server2)")
set(PARLIVO_CONFIG_CA_FILE "${_ca}" CACHE STRING "Extra certificate authority (PEM) trusted for HTTPS; empty for the system store only")
# The web view trusts this one certificate (PEM) for 127.0.0.1 and nothing else, so pages served by
# the loopback server load; empty in a packaged build.
set(PARLIVO_CONFIG_SERVER_CERT "${_server_cert}" CACHE STRING "Loopback server certificate the web view trusts for 127.0.0.1; empty for none")

# Where an installed program gets its configuration. "bundled": the default payload installed
# with it (share/parlivo-for-whatsapp/config/default.payload, read as a file: URL through the
# same client and checks), so it works with no server of ours; "server": the hosts above. The
# program in the build tree always asks the server (scripts/run serves it on loopback).
set(PARLIVO_CONFIG_SOURCE "bundled" CACHE STRING "Configuration of an installed program: bundled or server")
set_property(CACHE PARLIVO_CONFIG_SOURCE PROPERTY STRINGS bundled server)
if(NOT PARLIVO_CONFIG_SOURCE MATCHES "^(bundled|server)$")
    message(FATAL_ERROR "PARLIVO_CONFIG_SOURCE must be bundled or server, not ${PARLIVO_CONFIG_SOURCE}")
endif()

# The loopback server's certificate authority and its certificate for 127.0.0.1 and localhost,
# made once per build tree. Checks stay on: the client trusts this CA, it does not skip checks.
find_program(OPENSSL_PROGRAM openssl REQUIRED)
if(NOT EXISTS ${PARLIVO_DEV_TLS_DIR}/server.pem)
    file(MAKE_DIRECTORY ${PARLIVO_DEV_TLS_DIR})
    file(WRITE ${PARLIVO_DEV_TLS_DIR}/server.ext
        "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
        "basicConstraints=critical,CA:FALSE\n"
        "keyUsage=critical,digitalSignature,keyEncipherment\n"
        "extendedKeyUsage=serverAuth\n")
    set(_ec -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    execute_process(
        COMMAND ${OPENSSL_PROGRAM} req -x509 ${_ec} -days 3650 -subj "/CN=Parlivo development CA"
                -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
                -keyout ca.key -out ca.pem
        COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${PARLIVO_DEV_TLS_DIR} OUTPUT_QUIET ERROR_QUIET)
    execute_process(
        COMMAND ${OPENSSL_PROGRAM} req ${_ec} -subj "/CN=localhost" -keyout server.key -out server.csr
        COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${PARLIVO_DEV_TLS_DIR} OUTPUT_QUIET ERROR_QUIET)
    execute_process(
        COMMAND ${OPENSSL_PROGRAM} x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial
                -CAserial ca.srl -days 825 -extfile server.ext -out server.pem
        COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${PARLIVO_DEV_TLS_DIR} OUTPUT_QUIET ERROR_QUIET)
endif()
