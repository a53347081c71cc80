# Morvex_cutter_surface.
