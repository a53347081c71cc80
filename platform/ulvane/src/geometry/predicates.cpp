// Placeholder translation unit until the predicates land.
namespace tarnix {}
