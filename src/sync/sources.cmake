target_sources(wl_sync PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Base64.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sha1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WSFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SocketWait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TPlainTransport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TTlsTransport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWebsocketIOHandler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWebsocketClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWebsocketReadThread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWebsocketDispatchThread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWebsocketRetryThread.cpp
)
target_sources(wl_sync PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TSyncLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWLSocket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWLSocketRequests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TWLSocketHandlers.cpp
)
