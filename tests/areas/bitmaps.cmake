vx_add_test(bitmaps SOURCES
  VxFramework/Utilities/Graphics/BitmapTest.cpp
  VxFramework/Utilities/Graphics/FontTest.cpp
  VxFramework/Utilities/Graphics/FontTextTest.cpp)
