# Ulvane_mesh: vertex sets, surface meshes, curves, solids and their builders.
