// config
