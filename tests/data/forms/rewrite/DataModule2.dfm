inherited DataModule2: TDataModule2
  inherited Database1: TDatabase
    DatabaseName = 'Sales'
  end
  inline Frame1: TDbFrame
    inherited FrameDb: TDatabase
      DatabaseName = 'Frame'
    end
  end
  object TDatabase
    DatabaseName = 'Nameless'
  end
  object Archive: TDatabase [3]
    DatabaseName = 'Archive'
  end
end
