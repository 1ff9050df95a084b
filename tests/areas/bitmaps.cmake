vx_add_test(bitmaps SOURCES
  VxFramework/Utilities/Graphics/BitmapTest.cpp)
