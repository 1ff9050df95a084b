vx_add_test(notifications SOURCES
  VxFramework/Notification/NotificationTest.cpp
  VxFramework/Notification/NotificationDistributorTest.cpp
  VxFramework/Notification/NotificationCenterTest.cpp
  VxFramework/Notification/NotificationHandlerTest.cpp)

vx_add_benchmark(notifications SOURCES benchmarks/NotificationQueueBenchmark.cpp)
