# Morvex_modifier_model.
