// Filled in with the image pipeline.
