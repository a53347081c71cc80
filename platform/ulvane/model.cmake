# Ulvane_model: Section, BRep, components, unique vertices, copy mappings.
