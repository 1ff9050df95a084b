# The layer table of the fixture tree: High depends on Low, never the reverse.
set(VX_LAYERS "Low;High")
set(VX_LAYER_Low_PATHS "Low/")
set(VX_LAYER_Low_REACHABLE "")
set(VX_LAYER_High_PATHS "High/")
set(VX_LAYER_High_REACHABLE "Low")
set(VX_FORBIDDEN "sim/")
set(VX_FILES "Low/Low.h;High/High.h")
