// replaced by the implementation
