# Morvex_modifier_common and Morvex_modifier_surface.
