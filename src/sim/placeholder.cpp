// placeholder until the layer has sources
